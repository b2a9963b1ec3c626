// setupapi.dll of the fake HID services: nothing but the forwarders of
// fake_setupapi_win.def to the fake hid.dll (tests/fake_hid_win.cpp).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
