// On Windows the program has no console: every refusal is a message box.
#include "platform/refusal_dialog.h"

#include <windows.h>

#include "sandbox/sandbox.h"

const char* const kDialogVariable = "STREAM8_REFUSAL_DIALOG";

bool show_refusal_dialog(const std::string& message)
{
    if (in_sandbox_child())
        return false;  // the probe's child shows nothing; its parent speaks for it
    MessageBoxA(nullptr, message.c_str(), "stream8", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return true;
}

int run_refusal_dialog(const std::string& message)
{
    show_refusal_dialog(message);
    return 1;
}
