#pragma once
// The Windows types and constants the platform services share: the message-box flags and
// answers, with their Windows values so that stored or logged values match, and the
// four-character codes of the multimedia services. The DIB records they build on sit below.

#include "base/DibTypes.h"

using UINT = unsigned int;
using FOURCC = DWORD;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) { return MakeFourCC(a, b, c, d); }

constexpr unsigned MB_OK = 0x0000;
constexpr unsigned MB_OKCANCEL = 0x0001;
constexpr unsigned MB_YESNO = 0x0004;
constexpr unsigned MB_ICONHAND = 0x0010;
constexpr unsigned MB_ICONERROR = MB_ICONHAND;
constexpr unsigned MB_ICONQUESTION = 0x0020;
constexpr unsigned MB_ICONEXCLAMATION = 0x0030;
constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr unsigned MB_ICONINFORMATION = 0x0040;
constexpr unsigned MB_DEFBUTTON2 = 0x0100;
constexpr unsigned MB_SYSTEMMODAL = 0x1000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
