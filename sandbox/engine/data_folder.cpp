#include "engine/data_folder.hpp"

#include "engine/backup.hpp"
#include "engine/convert.hpp"
#include "engine/engine.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unordered_map>

namespace sandbox {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDataFileSuffix = ".sandboxdb";
constexpr const char* kJournalName = "sandbox.journal";

void tellOperator(const std::string& text) { std::cerr << "makeddl-sandbox: " << text << std::endl; }

// A database's file name: its name with '%', '/', '\', control characters and a leading '.'
// written as %XX, so that every database has a file of its own.
std::string dataFileName(const std::string& database) {
    std::string name;
    for (size_t i = 0; i < database.size(); ++i) {
        auto c = static_cast<unsigned char>(database[i]);
        if (c == '%' || c == '/' || c == '\\' || c < 0x20 || (i == 0 && c == '.')) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        } else {
            name += static_cast<char>(c);
        }
    }
    return name + kDataFileSuffix;
}

std::optional<std::string> databaseOfFile(const fs::path& path) {
    if (path.extension() != kDataFileSuffix) return std::nullopt;
    std::string stem = path.stem().string(), name;
    for (size_t i = 0; i < stem.size(); ++i) {
        unsigned value = 0;
        if (stem[i] == '%' && i + 2 < stem.size() && std::sscanf(stem.c_str() + i + 1, "%2x", &value) == 1) {
            name += static_cast<char>(value);
            i += 2;
        } else {
            name += stem[i];
        }
    }
    return name;
}

DataFolderError refusal(const std::string& path, const std::string& problem) {
    return DataFolderError("the file '" + path + "' does not read back whole and valid (" + problem +
                           "). It was left as it is; the server does not start while it is in the folder.");
}

// Tables of a database rebuilt from its schema keep the rows they had, matched by object id.
void carryRows(Database& from, Database& to) {
    std::unordered_map<int, Table*> byId;
    for (const auto& [key, old] : from.tables()) byId[old->id] = old.get();
    for (const auto& [key, table] : to.tables())
        if (auto old = byId.find(table->id); old != byId.end()) {
            table->rows = std::move(old->second->rows);
            ++table->rowsVersion;
        }
}

void removeFile(const fs::path& path) {
    std::error_code error;
    if (!fs::remove(path, error) && error) throw FileError(error.value(), path.string(), "remove");
}

}  // namespace

DataFolder::DataFolder(Engine& engine, std::string folder, DataFolderOptions options)
    : engine_(engine), folder_(std::move(folder)), journalPath_(folder_ + "/" + kJournalName), options_(options) {}

void DataFolder::load() {
    prepareFolder();
    loadDataFiles();
    replayJournal();
}

// Creates the folder for its owner alone, and removes temporary files of writes that a crash
// interrupted: they hold nothing the folder still needs.
void DataFolder::prepareFolder() {
    if (fs::create_directories(folder_)) fs::permissions(folder_, fs::perms::owner_all);
    for (const auto& entry : fs::directory_iterator(folder_)) {
        if (!isTemporaryFileName(entry.path().filename().string())) continue;
        std::error_code error;
        if (fs::remove(entry.path(), error)) tellOperator("removed the leftover temporary file '" + entry.path().string() + "'");
        else tellOperator("cannot remove the leftover temporary file '" + entry.path().string() + "': " + error.message());
    }
}

void DataFolder::loadDataFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder_))
        if (databaseOfFile(entry.path())) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::string name = *databaseOfFile(path), key = toLower(name);
        if (key == "tempdb") continue;
        BackupFile file = readBackupFile(path.string());
        if (file.openError != 0) throw refusal(path.string(), std::strerror(file.openError));
        if (!file.damage.empty()) throw refusal(path.string(), file.damage);
        if (file.sets.size() != 1) throw refusal(path.string(), "it holds " + std::to_string(file.sets.size()) + " sets");
        auto existing = engine_.database(key);
        try {
            engine_.putDatabase(deserializeDatabase(file.sets[0].content, existing ? existing->name() : name,
                                                    existing ? existing->dbid() : engine_.nextDbid_++));
        } catch (const std::runtime_error& e) {
            throw refusal(path.string(), e.what());
        }
        filePositions_[key] = file.sets[0].journalPosition;
        lastPosition_ = std::max(lastPosition_, file.sets[0].journalPosition);
    }
    dataBytes_ = dataFilesSize();
}

void DataFolder::replayJournal() {
    if (!fs::exists(journalPath_)) return;
    JournalFile journal;
    try {
        journal = readJournal(readWholeFile(journalPath_));
    } catch (const FileError& e) {
        throw refusal(journalPath_, std::strerror(e.error()));
    }
    if (!journal.damage.empty()) throw refusal(journalPath_, journal.damage);
    for (const JournalRecord& record : journal.records) {
        try {
            apply(record);
        } catch (const std::runtime_error& e) {
            throw refusal(journalPath_, "record " + std::to_string(record.position) + ": " + e.what());
        }
    }
    journalValidSize_ = journal.validSize;
    if (journal.incompleteEnd)
        tellOperator("the last record of '" + journalPath_ + "' is incomplete: a write that a crash interrupted before "
                     "it was acknowledged. It is dropped.");
    if (!journal.records.empty() || journal.incompleteEnd) checkpoint();
}

void DataFolder::apply(const JournalRecord& record) {
    for (const JournalEntry& entry : record.entries) {
        std::string key = toLower(entry.database);
        auto written = filePositions_.find(key);
        if (key == "tempdb" || (written != filePositions_.end() && record.position <= written->second)) continue;
        changedSinceCheckpoint_.insert(key);
        auto existing = engine_.database(key);
        switch (entry.kind) {
            case JournalEntry::Kind::Database:
                engine_.putDatabase(deserializeDatabase(entry.content, entry.database,
                                                        existing ? existing->dbid() : engine_.nextDbid_++));
                break;
            case JournalEntry::Kind::Dropped:
                engine_.removeDatabase(key);
                break;
            case JournalEntry::Kind::Schema:
                if (existing) {
                    auto rebuilt = deserializeDatabase(entry.content, existing->name(), existing->dbid());
                    carryRows(*existing, *rebuilt);
                    engine_.putDatabase(rebuilt);
                }
                break;
            case JournalEntry::Kind::Rows:
                if (existing) applyRowChanges(*existing, entry.content);
                break;
        }
    }
    lastPosition_ = std::max(lastPosition_, record.position);
}

void DataFolder::openJournal() {
    journal_.open(journalPath_, journalValidSize_);
    try {
        if (journal_.size() == 0) {
            journal_.append(journalHeader());
            syncFolder(folder_);  // the new file's name survives a crash too
        }
    } catch (const FileError&) {
        journal_.close();
        throw;
    }
}

void DataFolder::commit(std::vector<JournalEntry> entries) {
    if (!journal_.isOpen()) openJournal();
    JournalRecord record{lastPosition_ + 1, std::move(entries)};
    journal_.append(encodeJournalRecord(record));
    journalValidSize_ = journal_.size();
    lastPosition_ = record.position;
    for (const JournalEntry& entry : record.entries) changedSinceCheckpoint_.insert(toLower(entry.database));
    if (journal_.size() > std::max({options_.journalLimit, dataBytes_, postponedUntil_})) checkpoint();
}

void DataFolder::checkpoint() {
    try {
        for (const std::string& key : changedSinceCheckpoint_) writeDataFileOf(key);
        syncFolder(folder_);
        writeFileDurably(journalPath_, journalHeader());
        journalValidSize_ = journalHeader().size();
        changedSinceCheckpoint_.clear();
        postponedUntil_ = 0;
        dataBytes_ = dataFilesSize();
        journal_.open(journalPath_, journalValidSize_);
    } catch (const FileError& e) {
        journal_.close();  // opened again, at its last sound record, by the next commit
        postponedUntil_ = std::max<uint64_t>(journalValidSize_ * 2, options_.journalLimit);
        tellOperator(std::string(e.what()) + "; the journal is kept and folded into the data files later");
    }
}

// A kept database gets its file written; a dropped one loses it.
void DataFolder::writeDataFileOf(const std::string& key) {
    auto db = engine_.database(key);
    for (const auto& entry : fs::directory_iterator(folder_)) {
        auto name = databaseOfFile(entry.path());
        if (name && toLower(*name) == key && (!db || entry.path().filename() != dataFileName(db->name()))) {
            removeFile(entry.path());
            syncFolder(folder_);
        }
    }
    if (db) writeBackupFile(folder_ + "/" + dataFileName(db->name()),
                            {BackupSet{db->name(), currentDateTime(), lastPosition_, serializeDatabase(*db)}});
}

uint64_t DataFolder::dataFilesSize() const {
    uint64_t total = 0;
    for (const auto& entry : fs::directory_iterator(folder_))
        if (databaseOfFile(entry.path())) total += entry.file_size();
    return total;
}

}  // namespace sandbox
