// The jump command: asks for an address, pre-filled with the one on show, and
// loads what the user confirms.
#pragma once

#include "core/application.h"

namespace wgs {

class AddressPrompt {
public:
    struct Answer {
        bool confirmed = false;
        Text text;  // the edit box's whole text when confirmed, untrimmed
    };

    // A modal dialog owned by `owner`; the initial text comes fully selected.
    AddressPrompt(Platform& platform, Handle owner) : platform_(platform), owner_(owner) {}
    Answer run(const Text& prompt, const Text& initial);

private:
    Platform& platform_;
    Handle owner_;
};

// The command of "跳转至网页". A cancelled prompt or an empty address leaves the
// page as it is: loading the empty address would throw away the running game.
void jumpToAddress(Application& application);

}  // namespace wgs
