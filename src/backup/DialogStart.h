#pragma once
// The start values of the host context, a rule of the main dialog's start rather than a window.
#include "app/CQuillonApp.h"
#include "backup/HostSettings.h"

// The values a dialog starts with before any host record: a local recorder with 64 cameras,
// model 0x670, kind 4, date type 0, the launch string's address and port, the drives present.
void SetStartValues(backup::HostSettings& host, CQuillonApp& app);
