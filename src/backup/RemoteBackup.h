#pragma once
// Remote mode: the recordings lie on another recorder and come through the share client. The
// requests this side sends (a day's index, the size of a new entry, one entry's image per pass)
// and the handling of the answers (message 0x2F69) on the user-interface thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "backup/BackupContext.h"
#include "backup/PassJob.h"
#include "backup/RemoteStep.h"

class IShareClientReceiver;

// Connects the share client to the host's address and port, once per address and port: when a
// host record switches the dialog to remote mode, and again before a request when the host
// gave another. False when there is no client or it cannot be used.
bool ConnectShareClient(const backup::HostSettings& host, backup::LinkState& link);
// Where the client's answers go (the dialog's window); set once by the front end.
void SetShareReceiver(backup::LinkState& link, IShareClientReceiver* receiver);

// Remote branch of the day choice: asks for the day's index (answer code 2).
void RequestDayIndex(const backup::HostSettings& host, backup::LinkState& link,
                     const std::string& day);
// Remote branch of Add, once the entry's folder and information file are made: asks for the
// size (answer code 3) and leaves the dialog busy until it arrives. Answers "" or the refused
// key, as Add does.
backup::CommandResult RequestEntrySize(BackupContext& ctx, const std::string& entry,
                                       const std::string& start, const std::string& end);

// Message 0x2F69: code 2 to 8 from the share client. record and size are
// the answer's record (copied before the call returns); a value (code 4's slot) comes in size
// with a null record. wakeWorker signals the worker for the next entry (code 6).
void OnShareClientMessage(BackupContext& ctx, std::uintptr_t code, const void* record,
                          std::size_t size, const std::function<void()>& wakeWorker);
