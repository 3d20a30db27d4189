#pragma once
// The texts the memory table engine raises, in one place so that every
// message reads exactly the same wherever it is raised.

namespace mtres {

inline constexpr const char* TableMustBeClosed = "Table must be closed for this operation.";
inline constexpr const char* ChildrenAttached = "Children are attached to this table.";
inline constexpr const char* TableIsAttached = "Table is attached to another table.";
inline constexpr const char* InvalidArgument = "Invalid argument.";
inline constexpr const char* BookmarkCounterOutOfRange =
    "Bookmark counter is out of range. Please close and reopen table.";
inline constexpr const char* NoFields = "There must be at least one field";
inline constexpr const char* FieldTypeNotSupported = " Datatype %d not supported.";
inline constexpr const char* InvalidLocale = "Invalid locale.";
inline constexpr const char* InvalidRecord = "Invalid record ";
inline constexpr const char* DupKey = "Duplicate index value. Operation aborted.";
inline constexpr const char* MissingIndexDef = "Missing Name or FieldNames in IndexDef!";
inline constexpr const char* CantIndexField = "Can't index on field %s";
inline constexpr const char* TooManyFieldDefs = "Too many fielddefs. Please raise MT_MAX_FIELDS value.";
inline constexpr const char* NotEditMode = "Dataset is not in edit mode.";
inline constexpr const char* FieldReadOnly = "Field %s is read only";
inline constexpr const char* CantAttachToSelf = "Cant attach memorytable to it self.";
inline constexpr const char* CantAttachToAttachment =
    "Cant attach to another table which itself is an attachment.";
inline constexpr const char* SelfReferencingMaster = "Selfreferencing master/detail relations not allowed.";
inline constexpr const char* TransactionsNeedVersioning = "Transactioning requires multiversion versioning.";
inline constexpr const char* BookmarkNotFound = "Bookmark %d not found.";
inline constexpr const char* NoFormat = "No format specified.";
inline constexpr const char* InvalidDimCount = "Values variant array has invalid dimension count";
inline constexpr const char* MoreFieldsThanValues = "More fields than values";
inline constexpr const char* AppendAndCopyStructure = "Cannot both append and copy structure.";
inline constexpr const char* RecordNotFound = "Record not found";
// Not among the original texts: a stale bookmark is refused with a clear
// message instead of following a dangling reference.
inline constexpr const char* BookmarkStale = "Bookmark no longer refers to a record of this table.";
inline constexpr const char* FieldSizeTooLarge =
    "O campo %s tem tamanho %d, maior que o máximo de %d que a tabela em memória comporta.";
inline constexpr const char* NoFormatDriver = "Stream formats are not available.";
inline constexpr const char* AttachedCalcFields =
    "Calculated fields of an attached table need more room than those of the table it is attached to.";

inline constexpr const char* RowOrderIndexName = "__MT__ROWORDER";
inline constexpr const char* AutoIndexPrefix = "__MT__AUTO_";
inline constexpr const char* Version = "5.02b";

}  // namespace mtres
