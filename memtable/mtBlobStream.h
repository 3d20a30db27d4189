#pragma once
// The memory table's blob stream: a memory stream holding a copy of one blob
// value of the table's active record. It is filled from the record when it
// opens (unless it opens for writing only) and, when it was changed, writes
// its bytes back into the record buffer when it is destroyed; the value
// reaches the store when the record is posted. The table's
// OnDecompressBlobStream / OnCompressBlobStream events may transform the
// bytes on the way in and out; without them the bytes pass unchanged.
#include <cstdint>

#include "memtable/mtCommon.h"
#include "platform/db/DB.h"
#include "platform/rtl/Streams.h"

class TmtCustomMemTable;

class TmtBlobStream : public TMemoryStream {
public:
    FAT_CLASS_NAME(TmtBlobStream)
    // Field must be a blob field of a memory table. Outside bmRead the table
    // must be editing or inserting and the field writable.
    TmtBlobStream(TField* Field, TBlobStreamMode Mode);
    ~TmtBlobStream() override;
    TmtBlobStream(const TmtBlobStream&) = delete;
    TmtBlobStream& operator=(const TmtBlobStream&) = delete;

    int64_t Write(const void* Buffer, int64_t Count) override;
    // Shortening or lengthening the stream is a change like a write.
    void SetSize(int64_t Size) override;

    // Fills the stream from the record (through OnDecompressBlobStream).
    void ReadBlobData();
    // Stores the stream into the record buffer (through OnCompressBlobStream).
    void WriteBlobData();
    // Empties the stream and the record's value.
    void Truncate();

    TField* Field() const { return field_; }
    TmtCustomMemTable* DataSet() const { return dataSet_; }
    TBlobStreamMode Mode() const { return mode_; }
    bool Modified() const { return modified_; }
    PmtRecord Record() const { return record_; }
    PmtRecord StoreRecord() const { return storeRecord_; }

private:
    bool WritingMode() const { return mode_ == bmWrite || mode_ == bmReadWrite; }
    // Whether the record the stream was opened on is still the one the table
    // is editing, so that writing back cannot touch a buffer gone meanwhile.
    bool RecordStillActive() const;
    void SetBlock(uint8_t* Block);

    PmtRecord record_ = nullptr;
    PmtRecord storeRecord_ = nullptr;
    TField* field_;
    TmtCustomMemTable* dataSet_;
    TBlobStreamMode mode_;
    bool modified_ = false;
    bool filling_ = false;
    // The field's slots (null-flag byte, then the block pointer) in the two records.
    uint8_t* recordSlot_ = nullptr;
    uint8_t* storeSlot_ = nullptr;
};
