#pragma once
// Message box types and answers as the original platform numbers them: the window's boxes and
// the hosts that answer them from outside use these numbers.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
