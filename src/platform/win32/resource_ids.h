// Identifiers shared by the resource script and the code. Kept free of C++
// so that the resource compiler can read it too.
#pragma once

#define WGS_IDD_ADDRESS_PROMPT 1037
#define WGS_IDC_PROMPT_FRAME -1
#define WGS_IDC_PROMPT_LABEL 1128
#define WGS_IDC_PROMPT_EDIT 1001
#define WGS_IDC_PROMPT_PASSWORD 1002
