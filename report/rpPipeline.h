#pragma once
// TrpDataPipeline: the data a report walks record by record. This is the
// side the printables, bands, groups and the report talk to; traversal,
// fields and master/detail links are built on it by the data classes.
// A bare pipeline is closed and has no fields.
#include <string>

#include "platform/rtl/Variant.h"
#include "report/rpRelatv.h"

// Notify operations a pipeline sends to its links.
enum : int {
    rpopPipelineChanged = 2,
};

// Events a pipeline broadcasts.
enum : int {
    rpevDataChanged = 132,
};

class TrpDataPipeline : public TrpRelative {
public:
    explicit TrpDataPipeline(TComponent* AOwner);
    FAT_CLASS(TrpDataPipeline)

    // Open: the data can be walked.
    virtual bool Active() const { return false; }
    // Open and standing on a record (not empty).
    virtual bool HasRecord() const { return false; }
    // Standing on the first and the last record at once: the empty state.
    virtual bool Bof() const { return true; }
    virtual bool Eof() const { return true; }
    virtual bool FieldExists(const std::string& /*FieldName*/) const { return false; }
    virtual Variant GetFieldValue(const std::string& /*FieldName*/) { return Variant(); }
    virtual std::string GetFieldAsString(const std::string& /*FieldName*/) { return {}; }
    // The name a user reads for a field; the field name when none is set.
    virtual std::string GetFieldDisplayName(const std::string& FieldName) const { return FieldName; }
};
