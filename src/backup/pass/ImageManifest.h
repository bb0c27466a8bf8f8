#pragma once
// The manifest of the image a backup pass writes: the files are hashed as they are written,
// and when the pass ends SHA256SUMS goes into the image root, marked partial when the pass did
// not complete, signed when this machine has a signing key.
#include <memory>
#include <string>

#include "backup/pass/PassJob.h"

namespace platform {
class WriteTap;
}

// The pass's image opened: its target watched (ImageSink) and its hashing begun.
void OpenImage(backup::PassJob& job);
// The image closed: its manifest written, then its volume flushed when the pass made it whole,
// or the image abandoned.
void CloseImage(backup::PassJob& job, bool whole);

// Begins hashing the pass's image, unless it is already being hashed (a remote pass runs in
// several steps) or manifests are off. Nothing for a target without an image root.
void BeginImageManifest(backup::PassJob& job);
// What the writers of the image install on their thread; null when nothing is hashed.
platform::WriteTap* ImageManifestTap(backup::PassJob& job);
// The same for the link's download, which writes on a thread of its own and may outlive the
// pass: it sees the hasher until the manifest is finished, then nothing.
std::shared_ptr<platform::WriteTap> ImageManifestLinkTap(backup::PassJob& job);
// Ends the hashing and writes the manifest from what the report says of the pass. The result
// goes to job.manifestNote and job.keyFingerprint; a manifest that cannot be written
// is a failure of the pass.
void FinishImageManifest(backup::PassJob& job);
