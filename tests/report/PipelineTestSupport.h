#pragma once
// Pipelines over memory tables for the pipeline tests: a table of ids and
// keys, a data source and a dataset pipeline on it, a walk that collects
// the ids the pipeline stands on, and a listener that records the events a
// pipeline broadcasts.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "memtable/mtMemTable.h"
#include "report/rpDBPipeline.h"

namespace pipetest {

// One row: an id and an optional text key (nullopt is a null key).
struct Row {
    int id;
    std::optional<std::string> key;
};

// A memory table (Id integer, Key text) with a data source and a pipeline.
struct TablePipeline {
    explicit TablePipeline(const std::vector<Row>& Rows, const std::string& Name = "Pipe", TFieldType KeyType = ftString) {
        table = std::make_unique<TmtMemTable>(nullptr);
        table->FieldDefs()->Add("Id", ftInteger);
        table->FieldDefs()->Add("Key", KeyType, KeyType == ftString ? 40 : 0);
        table->Open();
        for (const Row& r : Rows)
            table->AppendRecord({Variant(r.id), r.key ? Variant(*r.key) : Null()});
        table->First();
        source = std::make_unique<TDataSource>(nullptr);
        source->SetDataSet(table.get());
        pipe = std::make_unique<TrpDBPipeline>(nullptr);
        pipe->SetName(Name);
        pipe->SetDataSource(source.get());
    }
    ~TablePipeline() {
        pipe.reset();
        source.reset();
        table.reset();
    }
    int Id() { return pipe->GetFieldValue("Id").AsInteger(); }

    std::unique_ptr<TmtMemTable> table;
    std::unique_ptr<TDataSource> source;
    std::unique_ptr<TrpDBPipeline> pipe;
};

// Ids 0..Count-1, no keys.
inline std::vector<Row> Ids(int Count) {
    std::vector<Row> rows;
    for (int i = 0; i < Count; ++i) rows.push_back({i, std::nullopt});
    return rows;
}

// First, then Next until Eof, collecting the "Id" of each record; a walk
// longer than Limit records is a runaway and fails the test.
inline std::vector<int> Walk(TrpDataPipeline& Pipe, int Limit = 100000) {
    std::vector<int> ids;
    Pipe.First();
    while (!Pipe.Eof()) {
        const Variant id = Pipe.GetFieldValue("Id");
        if (id.IsNull()) {
            ADD_FAILURE() << Pipe.Name() << " stands on no record before its end (states "
                          << static_cast<int>(Pipe.States()) << ")";
            break;
        }
        ids.push_back(id.AsInteger());
        if (static_cast<int>(ids.size()) > Limit) {
            ADD_FAILURE() << "the walk does not end";
            break;
        }
        Pipe.Next();
    }
    return ids;
}

// Records (sender name, event number) for the numbers it listens to.
class EventLog {
public:
    EventLog(TrpCommunicator* Source, std::vector<int> Numbers) : listener_(nullptr), source_(Source) {
        for (int n : Numbers) listener_.EventSet().set(static_cast<std::size_t>(n));
        listener_.OnEventNotify = [this](TObject*, TObject* Sender, int Number, TrsParamList*) {
            auto* c = dynamic_cast<TComponent*>(Sender);
            events.push_back((c != nullptr ? c->Name() : std::string("?")) + ":" + std::to_string(Number));
        };
        source_->AddEventNotify(&listener_);
    }
    ~EventLog() { source_->RemoveEventNotify(&listener_); }
    int Count(const std::string& Event) const {
        int n = 0;
        for (const auto& e : events) n += e == Event;
        return n;
    }
    std::vector<std::string> events;

private:
    TrpCommunicator listener_;
    TrpCommunicator* source_;
};

}  // namespace pipetest
