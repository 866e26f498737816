// Chinese literals are written in UTF-8 in the source and must be GBK bytes in
// the program: every target is compiled with -fexec-charset=GBK. This check
// makes a build without it fail instead of writing mojibake into yxq.ini.
#pragma once

static_assert(sizeof("名") == 3 && static_cast<unsigned char>("名"[0]) == 0xC3 &&
                  static_cast<unsigned char>("名"[1]) == 0xFB,
              "string literals must be compiled as GBK (-fexec-charset=GBK)");
