#pragma once
// The window's side of disc writing: the writer's start, the hand-over of a finished backup
// image to it, the write with its options, what each of its events does to the window, the
// clean-up after a completed write, and erasing a rewritable disc.
#include "backup/BackupContext.h"
#include "ports/CDVDWriterPro2.h"

// At the window's start; A010001 when the writer cannot be used (the window opens anyway).
BOOL InitDiscWriter(BackupContext& ctx);
// The worker, once every entry is in C:\QuillonTemp: the image's files to the writer, then the
// write, or back to idle when the backup was cancelled. Worker thread.
void HandOverDiscImage(BackupContext& ctx);
// The write with its options in their order; A010019 without a disc, A010020 when it does not
// start (the writer then reports the end by an event).
void StartDiscWrite(BackupContext& ctx);
// One event of the writer. User-interface thread.
void OnWriterEvent(BackupContext& ctx, const WriterEvent& event);
// "Erase": the checks, then the erase; its end comes as event 11 or 21. True when the erase
// started (its end is then still to come), false when it was refused or could not start.
bool OnErase(BackupContext& ctx);
