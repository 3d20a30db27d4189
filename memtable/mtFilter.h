#pragma once
// Evaluation of a memory table's filter expression: the tree TExprParser
// builds from the Filter text is walked for each record under test and the
// record passes when the value converts to true.
//
// Nulls: comparisons, LIKE and IN with a null or unassigned side are false;
// arithmetic, NOT, negation and the functions give Null for a null operand;
// AND and OR follow three-valued logic, so "true OR null" is true and
// "false AND null" is false, while "true AND null" is Null (which does not
// pass). A division, MOD or % by zero gives Null.
//
// Two evaluators give the same values. The variant one (EvaluateFilter)
// reads every field by name and carries every value in a variant. The one a
// memory table uses for its records (TmtFilterExpression::EvaluateRecord)
// resolves each field name once, reads the fields a record holds straight
// from it and compares numbers, dates, booleans and texts without variants;
// anything else it hands to the variant rules, so that conversions, errors
// and result types stay the variant evaluator's.
#include <functional>
#include <memory>
#include <string>

#include "platform/db/DB.h"
#include "platform/db/ExprParser.h"
#include "platform/rtl/Variant.h"

class TmtCustomMemTable;
struct TmtRecord;

namespace memtable {

// The value of a field of the record under test, by name; an unknown name
// raises the framework's field-not-found error.
using FilterFieldReader = std::function<Variant(const std::string& FieldName)>;

// Evaluates Node and stores its value in Value; errors are EMemTableFilterError
// (conversion errors of the values propagate as they are). Reentrant.
void FilterExpressionEvaluator(const TExprNode* Node, const FilterFieldReader& FieldValue, Variant& Value);
Variant EvaluateFilter(const TExprNode* Node, const FilterFieldReader& FieldValue);
// Whether a filter result lets the record through (Null and unassigned do not).
bool FilterResultAccepts(const Variant& Result);

}  // namespace memtable

// A parsed filter text, evaluated against the fields of a dataset.
class TmtFilterExpression {
public:
    // Raises EExprParserError for bad text.
    TmtFilterExpression(const std::string& Text, TFilterOptions Options);
    ~TmtFilterExpression();
    TmtFilterExpression(const TmtFilterExpression&) = delete;
    TmtFilterExpression& operator=(const TmtFilterExpression&) = delete;

    const TExprNode* Root() const { return root_.get(); }
    const std::string& Text() const { return text_; }
    // Evaluates against the record DataSet's fields read now (for a memory
    // table in the filter state: the record under test).
    Variant Evaluate(TDataSet* DataSet);
    bool Accepts(TDataSet* DataSet) { return memtable::FilterResultAccepts(Evaluate(DataSet)); }

    // The same for a record of a memory table, with the same result. A field
    // name is resolved once to the table's field (again after the table
    // reopens); a field the record holds is read straight from it, numbers,
    // dates and texts compared without variants. A field it does not hold
    // (calculated, lookup) is read through the field, so the table must then
    // show Record to its fields (its filter state) while this runs.
    Variant EvaluateRecord(TmtCustomMemTable* Table, TmtRecord* Record);
    bool AcceptsRecord(TmtCustomMemTable* Table, TmtRecord* Record);
    // Whether every field the expression names is one the record holds, so
    // that EvaluateRecord needs no dataset state.
    bool ReadsOnlyRecord(TmtCustomMemTable* Table);
    // Whether the expression reads anything that changes while the records
    // stay as they are (the clock): its answers then hold only for a moment.
    bool ReadsTheClock() const;

private:
    struct Compiled;
    std::string text_;
    std::unique_ptr<TExprNode> root_;
    std::unique_ptr<Compiled> compiled_;
};

namespace memtable {

// The memory table's filter hooks in one place: the table parses its Filter
// text with ParseTableFilter (nullptr for an empty text), evaluates it per
// record with EvaluateTableFilter while the record is the one its fields
// read (state dsFilter) and frees it with FreeTableFilter.
void* ParseTableFilter(const std::string& Text, TFilterOptions Options);
bool EvaluateTableFilter(TmtCustomMemTable* Table, void* Expression);
// The same for Record, its own fields read straight from it (see
// TmtFilterExpression::EvaluateRecord).
bool EvaluateTableFilter(TmtCustomMemTable* Table, void* Expression, TmtRecord* Record);
// Whether EvaluateTableFilter for a record needs no dataset state.
bool TableFilterReadsOnlyRecord(TmtCustomMemTable* Table, void* Expression);
// Whether the answers of EvaluateTableFilter may change with the records
// unchanged (see TmtFilterExpression::ReadsTheClock).
bool TableFilterReadsTheClock(void* Expression);
void FreeTableFilter(void* Expression);

}  // namespace memtable
