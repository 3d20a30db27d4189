#pragma once
// Edit masks as the class library writes them: "mask;save literals;blank",
// for instance "!\(999\)\ 000\-0000;0; ". This is the one reader of that
// notation in the program: masked edits (platform/ui) turn its result into
// their input masks, and FormatMaskText lays a stored value out for
// printing (report display formats, grids).
//
// The mask field: "L"/"l" a letter, "A"/"a" a letter or digit, "C"/"c" any
// character, "0"/"9" a digit, "#" a digit or sign (upper case: the place is
// required); ">" upper-cases the places that follow, "<" lower-cases them,
// "<>" (or "><") stops converting; "!" lays a short value out against the
// right end; "\" makes the next character a literal; ":" and "/" stand for
// the time and date separators of the format settings; "_" stands for a
// blank in the layout; any other character is a literal. The second field
// "0" says that stored values leave the literals out (anything else, or no
// field, keeps them); the third field's first character is the blank shown
// for an unfilled place in an edit ("_" when there is none).
#include <string>
#include <string_view>
#include <vector>

struct TFormatSettings;

namespace maskutils {

enum class CharCase { Keep, Upper, Lower };

// One place of the layout.
struct MaskSlot {
    bool literal = false;
    char32_t ch = 0;       // a literal's character
    char kind = 0;         // an input place: 'L' 'l' 'A' 'a' 'C' 'c' '0' '9' '#'
    bool required = false;
    CharCase charCase = CharCase::Keep;  // the conversion in force for an input place
    // A case directive (">", "<", "<>") was written right before this place;
    // edits that speak another mask notation repeat it there.
    bool caseMark = false;
};

struct ParsedMask {
    std::vector<MaskSlot> places;
    bool saveLiterals = true;
    char32_t blank = U'_';
    bool rightAligned = false;  // "!"

    bool Empty() const { return places.empty(); }
    int InputCount() const;
};

// Never fails: every text is some mask (an unknown character is a literal, a
// "\" at the very end is dropped).
ParsedMask ParseEditMask(std::string_view Mask);
ParsedMask ParseEditMask(std::string_view Mask, const TFormatSettings& Settings);

// The character as an input place shows it (upper- or lower-cased).
char32_t ApplyCase(char32_t c, CharCase charCase);

}  // namespace maskutils

// Value laid out in the mask, for printing: literals in their places, the
// value's characters in the input places (converted to upper or lower case
// where the mask says so), and a blank for every place the value does not
// fill. A value stored without its literals (second field "0") fills the
// input places from the left, or from the right after "!"; a longer value
// loses its excess characters at the far end. A value stored with its
// literals is read from the left, a literal of the value in a literal's
// place being taken as that literal. A mask without places leaves the value
// as it is. Characters are counted, never bytes.
std::string FormatMaskText(std::string_view EditMask, std::string_view Value);
std::string FormatMaskText(std::string_view EditMask, std::string_view Value, const TFormatSettings& Settings);
