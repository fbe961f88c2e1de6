// The recovery record of an open track: a small file beside its temporary states that names the
// user's file, the start offset, the working state and the undo list, so that the track's
// unsaved changes can be taken up again after the program was killed.
//
// The record is "WAV" + 8 hexadecimal digits + ".REC" in the temporary folder, in the profile
// format (key=value lines). Each write fills a nameless file and only then names it: a new
// record by a link to a free name, a rewrite by a link to the record's name + ".NEW" renamed
// over the record. A reader sees the old record or the new one, and a writer killed at any
// point leaves no empty record whose owner nobody could tell. It is not synced:
// the states it names are not either, so it guards against a killed program, not against a
// disk cache lost with the power; and it is written on every change, on any thread. Its last
// line holds a checksum of everything above it; a record that is cut short, damaged, too large or
// not a record at all is refused with the reason, never half-read.
//
// A record names the process that wrote it by its id and its start time, so a process id taken
// again by another process later is not mistaken for the writer. A record whose writer still
// runs is never reported as an orphan, and nothing here deletes its states.
//
// No Qt. Safe to call from any thread; the records of one track are written by one thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct TRecoveryUndoEntry {
    std::string StateFile; // the state that Undo goes back to
    std::string Name;      // the caption of the change Undo takes back
    bool operator==(const TRecoveryUndoEntry&) const = default;
};

struct TRecoveryRecord {
    std::string Path;          // the record file; set by the first WriteRecoveryRecord
    pid_t Pid = 0;             // the writer, stamped by WriteRecoveryRecord
    uint64_t ProcessStart = 0; // the writer's start time in clock ticks after boot
    std::string UserFileName;  // "" for a track never saved
    int32_t StartOffset = 0;
    std::string WorkingState;             // the current state
    std::vector<TRecoveryUndoEntry> Undo; // oldest first, as TVelTrack keeps UndoFiles
    // A change under way: the state it writes, named before the file is made, so that a kill
    // at any point leaves no state that no record names. A take (PendingTakeStart >= 0, the
    // data byte its recording starts at) is recovered up to what it had written; any other
    // change is incomplete and its state is dropped.
    std::string PendingState;
    std::string PendingName;
    int32_t PendingTakeStart = -1;
    bool operator==(const TRecoveryRecord&) const = default;
};

// A record larger than this, or with more undo entries, is refused as damaged.
inline constexpr off_t kMaxRecoveryRecordBytes = 4 << 20;
inline constexpr std::size_t kMaxRecoveryUndoEntries = 100000;

// Writes `record` as the record of this process: stamps Pid and ProcessStart, creates a new
// record name in `folder` when record.Path is empty, then replaces the record at record.Path
// atomically. False with `error` set on failure; the old record is then as it was.
bool WriteRecoveryRecord(const std::string& folder, TRecoveryRecord& record, std::string& error);

// Reads the record at `path`. False with `error` telling why when it is missing, unreadable,
// too large, cut short or damaged; `record` is then left empty.
bool ReadRecoveryRecord(const std::string& path, TRecoveryRecord& record, std::string& error);

// Removes the record file (the states stay). A missing record is not an error.
bool RemoveRecoveryRecord(const TRecoveryRecord& record, std::string& error);

struct TRecoveryOrphan {
    TRecoveryRecord Record;
    std::vector<std::string> ExistingStates; // the states the record names that still exist
};

// The readable records in `folder` whose writer has ended, oldest file name first. Records of
// running processes, damaged records and records of other users are left out.
std::vector<TRecoveryOrphan> FindOrphanRecords(const std::string& folder);

// Whether an orphan holds work worth asking the user about: its working state still exists and
// it has changes in its undo list, or an interrupted take that had recorded something. Other
// orphans (a track with nothing unsaved, states gone) are discarded without a question.
bool OrphanHasUnsavedWork(const TRecoveryOrphan& orphan);

// The question put for an orphan at the next start: "Recover unsaved changes to <file>?", the
// file being the user's, or "a new track (never saved)".
std::string RecoveryQuestion(const TRecoveryRecord& record);

// Whether the writer of `record` still runs (its id is alive and has the same start time).
// When that cannot be told, it is taken as running, so its states are never touched.
bool RecordWriterRuns(const TRecoveryRecord& record);

// Deletes the states an orphan names (with their waveform pictures, its pending state too) and
// then its record. False
// with `error` set when a file could not be removed; it refuses a record whose writer runs.
bool DiscardOrphan(const TRecoveryRecord& record, std::string& error);

// The start time of a process in clock ticks after boot, 0 when it cannot be read.
uint64_t ProcessStartTime(pid_t pid);
