#pragma once
// What a front end does with the messages of the host and of outside senders: the host's record,
// a new list of drives, and the progress of a download. Runs on the user-interface thread.
#include <string>

#include "app/CProfileReadWrite.h"
#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/TargetChoice.h"
#include "backup/remote/LinkState.h"
#include "platform/Types.h"

constexpr DWORD kMsgDriveList = 0xBD0;         // WM_USER + 2000
constexpr DWORD kMsgDownloadProgress = 0xBD2;  // WM_USER + 2002
constexpr DWORD kMsgHostClosed = 0x2B21;       // the notice to the host as the tool closes
// A message of our own on the bus, beside the query of a control's state (0x8001): the storage
// target an operator would pick in the folder browser (the data is the host folder, UTF-8).
constexpr DWORD kMsgChooseTarget = 0x8002;

// WM_COPYDATA with _BACKUPHOSTINFO: remote mode, and the host's context replaces the dialog's.
// An empty block changes nothing; a record without a base folder keeps the dialog's own. The
// profile follows the new base folder, and the link connects to the host's address.
void OnHostRecord(backup::HostSettings& host, CProfileReadWrite& profile, backup::LinkState& link,
                  const std::string& block, bool dataPresent);
// 0xBD0: the drives present; D: to Z: go into the drive list 1100 as roots.
void OnDriveList(backup::HostSettings& host, backup::IOperatorEvents& view, DWORD mask);
// 0xBD2's record (_DOWNLOADPROGRESS) read within its bounds: what a short one lacks reads as
// zeros.
backup::LinkProgress ReadDownloadProgress(const std::string& record);
// The first progress of a download shows its bar; each later one moves it and names the item in
// the status line, in the words of the target's kind.
void OnDownloadProgress(backup::LinkState& link, const backup::TargetChoice& target,
                        const backup::OperatorPrompts& prompts, backup::IOperatorEvents& view,
                        const backup::LinkProgress& progress);
