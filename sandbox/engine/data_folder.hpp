#pragma once
// The folder that keeps databases across restarts: a data file per database (NAME.sandboxdb,
// in the backup file format) and a journal (sandbox.journal) of the batches since the data
// files were last written. A batch's changes are appended to the journal and flushed before
// the batch is acknowledged; at start the journal is replayed over the data files; now and
// then (and at start) the journal is folded into the data files and begun anew.

#include "engine/durable_file.hpp"
#include "engine/journal.hpp"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sandbox {

class Engine;

struct DataFolderOptions {
    // The journal is folded into the data files once it outgrows both this and the data files,
    // so that folding costs a fixed share of what the journal took.
    uint64_t journalLimit = uint64_t{64} << 20;
};

class DataFolder {
public:
    DataFolder(Engine& engine, std::string folder, DataFolderOptions options);

    // Loads every database kept in the folder into the engine and replays the journal. Throws
    // DataFolderError, naming the file, when a file does not read back whole and valid; such
    // a file is never changed.
    void load();
    // Appends a batch's entries to the journal, flushed to the disk before it returns. Throws
    // FileError when they cannot be made durable; the journal is then as it was.
    void commit(std::vector<JournalEntry> entries);
    const std::string& journalPath() const { return journalPath_; }

private:
    void prepareFolder();
    void loadDataFiles();
    void replayJournal();
    void apply(const JournalRecord& record);
    void openJournal();
    // Writes the databases the journal changed to their data files and begins a new journal;
    // a failure is told to the operator and the journal kept, to be folded in later.
    void checkpoint();
    void writeDataFileOf(const std::string& key);
    uint64_t dataFilesSize() const;

    Engine& engine_;
    std::string folder_;
    std::string journalPath_;
    DataFolderOptions options_;
    AppendOnlyFile journal_;
    uint64_t journalValidSize_ = 0;    // where a journal read at start ends; 0 when there was none
    uint64_t lastPosition_ = 0;        // of the last journal record written or replayed
    std::map<std::string, uint64_t> filePositions_;  // per data file read at start: the last record it holds
    std::set<std::string> changedSinceCheckpoint_;   // databases (lower-case) the journal changed
    uint64_t dataBytes_ = 0;
    uint64_t postponedUntil_ = 0;  // after a failed checkpoint: the journal size to try again at
};

}  // namespace sandbox
