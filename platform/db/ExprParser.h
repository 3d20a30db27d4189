#pragma once
// The filter-expression parser: turns a dataset's Filter text and its
// FilterOptions into an expression tree that a dataset walks for every record
// it tests.
//
// Syntax (keywords in any case):
//   A = 1, A <> 1 (also !=), <, >, <=, >=       comparisons
//   AND, OR, NOT, ( ... )                       logic, NOT binding tighter than AND, AND than OR
//   A IS NULL, A IS NOT NULL                    blank tests
//   A LIKE 'ab*', A NOT LIKE 'a?c'              file-name masks ("*", "?", "[a-z]")
//   A IN (1, 2, 3), A NOT IN ('x', 'y')         lists of any length
//   + - * /  MOD  %                             arithmetic (MOD and % are both the integer modulo)
//   UPPER(A), LOWER, SUBSTRING(A, 2, 3), TRIM, TRIMLEFT, TRIMRIGHT, GETDATE(), YEAR, MONTH,
//   DAY, HOUR, MINUTE, SECOND, DATE, TIME       functions
//   Name, [Field with blanks], 'text' or "text" (quotes doubled inside), 12, -3, 1.5, 2e3,
//   NULL, TRUE, FALSE
// Dates are written as quoted text ('07/12/2026'); compared with a date value
// the text is read in the user's date format.
//
// With foCaseInsensitive an "=" or "<>" against a quoted text ignores case
// (accented letters too). A quoted text ending in "*" compared with "=" or
// "<>" matches by its leading characters (Name = 'Jo*') unless
// foNoPartialCompare is set.
//
// Bad text raises EExprParserError naming the character position (1-based)
// and the token found there.
#include <memory>
#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "platform/rtl/Variant.h"

// Node classes, as the evaluator dispatches on them.
enum TExprNodeClass : uint8_t {
    enUnary = 1,
    enBinary = 2,
    enCompare = 3,  // text comparison: case folding and partial length
    enField = 4,
    enConst = 5,
    enFunc = 10,
    enListElem = 11,
};

// Operator codes.
enum TCANOperator : uint8_t {
    coISBLANK = 1,
    coNOTBLANK = 2,
    coEQ = 3,
    coNE = 4,
    coGT = 5,
    coLT = 6,
    coGE = 7,
    coLE = 8,
    coNOT = 9,
    coAND = 10,
    coOR = 11,
    coFIELD2 = 13,
    coCONST2 = 14,
    coMINUS = 15,
    coADD = 16,
    coSUB = 17,
    coMUL = 18,
    coDIV = 19,
    coMOD = 20,
    coREM = 21,
    coLIKE = 30,
    coIN = 31,
    coUPPER = 33,
    coLOWER = 34,
    coFUNC2 = 35,
    coLISTELEM2 = 36,
};

// One node of an expression tree. Operands by class:
//   enUnary      one operand
//   enBinary     left and right
//   enCompare    left and right; CaseInsensitive, Partial and PartialLength apply
//   enField      none; Name is the field name
//   enConst      none; Value holds the constant, DataType the field type it came as
//   enFunc       none or one enListElem node (the arguments); Name is the function name
//   enListElem   the elements, in order
struct TExprNode {
    TExprNodeClass NodeClass = enConst;
    TCANOperator Operator = coCONST2;
    bool CaseInsensitive = false;
    // Compare only the first PartialLength characters of both sides.
    bool Partial = false;
    int PartialLength = 0;
    std::string Name;
    TFieldType DataType = ftUnknown;
    Variant Value;
    std::vector<std::unique_ptr<TExprNode>> Operands;
    // Character position (1-based) in the filter text where the node starts.
    int Position = 0;
    // Levels below and including this node; the parser keeps it bounded so
    // that walking the tree recursively stays within the stack.
    int Depth = 1;

    const TExprNode* Operand(std::size_t Index) const {
        return Index < Operands.size() ? Operands[Index].get() : nullptr;
    }
};

class EExprParserError : public EDatabaseError {
public:
    EExprParserError(const std::string& Message, int Position, std::string Token)
        : EDatabaseError(Message), position_(Position), token_(std::move(Token)) {}
    const char* ClassName() const noexcept override { return "EExprParserError"; }
    // 1-based character position of the offending token.
    int Position() const { return position_; }
    // The offending token as written ("" at the end of the text).
    const std::string& Token() const { return token_; }

private:
    int position_;
    std::string token_;
};

class TExprParser {
public:
    // Nesting of parentheses, NOT and signs; deeper text is refused.
    static constexpr int MaxNesting = 128;
    // Depth of the tree (long chains such as A OR B OR C ... grow it).
    static constexpr int MaxDepth = 1000;

    // Parses Text at once; raises EExprParserError when it is not a valid
    // filter. An empty or blank text has no root.
    TExprParser(const std::string& Text, TFilterOptions Options);

    const std::string& Text() const { return text_; }
    TFilterOptions Options() const { return options_; }
    const TExprNode* Root() const { return root_.get(); }
    // Hands the tree over; the parser is left without one.
    std::unique_ptr<TExprNode> ReleaseRoot() { return std::move(root_); }
    // Names of the fields the expression reads, each once, in order of appearance.
    std::vector<std::string> FieldNames() const;

    // Whether Name is one of the functions the parser accepts (any case).
    static bool IsFunctionName(const std::string& Name);

private:
    std::string text_;
    TFilterOptions options_;
    std::unique_ptr<TExprNode> root_;
};

namespace db {
// The tree written back as text in the syntax above (fully parenthesised);
// parsing the result gives an equal tree. For diagnostics and tests.
std::string ExprNodeToText(const TExprNode* Node);
}  // namespace db
