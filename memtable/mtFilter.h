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

    const TExprNode* Root() const { return root_.get(); }
    const std::string& Text() const { return text_; }
    // Evaluates against the record DataSet's fields read now (for a memory
    // table in the filter state: the record under test).
    Variant Evaluate(TDataSet* DataSet);
    bool Accepts(TDataSet* DataSet) { return memtable::FilterResultAccepts(Evaluate(DataSet)); }

private:
    std::string text_;
    std::unique_ptr<TExprNode> root_;
};

namespace memtable {

// The memory table's filter hooks in one place: the table parses its Filter
// text with ParseTableFilter (nullptr for an empty text), evaluates it per
// record with EvaluateTableFilter while the record is the one its fields
// read (state dsFilter) and frees it with FreeTableFilter.
void* ParseTableFilter(const std::string& Text, TFilterOptions Options);
bool EvaluateTableFilter(TmtCustomMemTable* Table, void* Expression);
void FreeTableFilter(void* Expression);

}  // namespace memtable
