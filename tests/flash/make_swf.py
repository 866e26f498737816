#!/usr/bin/env python3
"""Writes the smallest SWF movie that shows something testable: a stage of one
background colour with one rectangle of another colour on it, one frame.

Tags: SetBackgroundColor, DefineShape (one solid fill, four straight edges),
PlaceObject2, ShowFrame, End; uncompressed ("FWS"), version 8.

    make_swf.py OUT.swf [--size W H] [--background RRGGBB]
                [--rect LEFT TOP RIGHT BOTTOM] [--colour RRGGBB]

Sizes are in pixels; a pixel is 20 twips.
"""
import argparse
import struct
import sys

TWIPS = 20


class Bits:
    """A big-endian bit writer, as SWF packs its records."""

    def __init__(self):
        self.bits = []

    def unsigned(self, value, count):
        if value < 0 or value >= 1 << count:
            raise ValueError(f"{value} does not fit in {count} unsigned bits")
        self.bits.extend((value >> (count - 1 - i)) & 1 for i in range(count))

    def signed(self, value, count):
        if not -(1 << (count - 1)) <= value < 1 << (count - 1):
            raise ValueError(f"{value} does not fit in {count} signed bits")
        self.unsigned(value & ((1 << count) - 1), count)

    def to_bytes(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(
            int("".join(map(str, padded[i:i + 8])), 2) for i in range(0, len(padded), 8)
        )


def signed_width(*values):
    """Bits needed to hold every value as a signed number (at least 1)."""
    return max(max(abs(v), 1).bit_length() + 1 for v in values)


def rect(xmin, xmax, ymin, ymax):
    bits = Bits()
    n = signed_width(xmin, xmax, ymin, ymax)
    bits.unsigned(n, 5)
    for v in (xmin, xmax, ymin, ymax):
        bits.signed(v, n)
    return bits.to_bytes()


def tag(code, body):
    if len(body) < 0x3F:
        return struct.pack("<H", code << 6 | len(body)) + body
    return struct.pack("<HI", code << 6 | 0x3F, len(body)) + body


def rgb(text):
    value = int(text, 16)
    return bytes(((value >> 16) & 255, (value >> 8) & 255, value & 255))


def define_shape(shape_id, left, top, right, bottom, colour):
    body = struct.pack("<H", shape_id) + rect(left, right, top, bottom)
    body += bytes([1, 0x00]) + colour  # one solid fill style
    body += bytes([0])  # no line styles
    bits = Bits()
    bits.unsigned(1, 4)  # fill style index bits
    bits.unsigned(0, 4)  # line style index bits
    # Style change: move to the top left corner and fill the right-hand side
    # of the edges, which (y pointing down) is the inside of a clockwise path.
    bits.unsigned(0, 1)  # not an edge
    bits.unsigned(0, 1)  # no new styles
    bits.unsigned(0, 1)  # no line style
    bits.unsigned(1, 1)  # fill style 1
    bits.unsigned(0, 1)  # no fill style 0
    bits.unsigned(1, 1)  # move to
    n = signed_width(left, top)
    bits.unsigned(n, 5)
    bits.signed(left, n)
    bits.signed(top, n)
    bits.unsigned(1, 1)  # fill style 1 = the first fill style
    for dx, dy in ((right - left, 0), (0, bottom - top), (left - right, 0), (0, top - bottom)):
        n = signed_width(dx, dy)
        bits.unsigned(1, 1)  # edge
        bits.unsigned(1, 1)  # straight
        bits.unsigned(n - 2, 4)
        bits.unsigned(1, 1)  # general line: both deltas
        bits.signed(dx, n)
        bits.signed(dy, n)
    bits.unsigned(0, 6)  # end of shape
    return tag(2, body + bits.to_bytes())


def movie(width, height, background, box, colour):
    left, top, right, bottom = (v * TWIPS for v in box)
    tags = tag(9, background)
    tags += define_shape(1, left, top, right, bottom, colour)
    tags += tag(26, bytes([0x02]) + struct.pack("<HH", 1, 1))  # place shape 1 at depth 1
    tags += tag(1, b"")  # show frame
    tags += tag(0, b"")  # end
    header_rest = rect(0, width * TWIPS, 0, height * TWIPS) + struct.pack("<HH", 12 << 8, 1)
    length = 8 + len(header_rest) + len(tags)
    return b"FWS" + bytes([8]) + struct.pack("<I", length) + header_rest + tags


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--size", nargs=2, type=int, default=(400, 300), metavar=("W", "H"))
    parser.add_argument("--background", default="20a040")
    parser.add_argument("--rect", nargs=4, type=int, default=(100, 75, 300, 225),
                        metavar=("LEFT", "TOP", "RIGHT", "BOTTOM"))
    parser.add_argument("--colour", default="e03030")
    args = parser.parse_args(argv)
    data = movie(args.size[0], args.size[1], rgb(args.background), args.rect, rgb(args.colour))
    with open(args.out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1:])
