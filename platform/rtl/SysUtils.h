#pragma once
// Exceptions of the runtime layer. Every failure the system reports is an
// Exception (or a descendant) carrying the message the user will read.
#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    const char* what() const noexcept override { return message_.c_str(); }
    // The class name as the class library spells it; used in messages such as
    // "Cannot assign a %s to a %s" and by report errors that name their class.
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

#define FAT_DECLARE_EXCEPTION(Name, Base)                                   \
    class Name : public Base {                                              \
    public:                                                                 \
        using Base::Base;                                                   \
        const char* ClassName() const noexcept override { return #Name; }   \
    };

// The silent exception: unwinds without a message box (the class library's Abort).
FAT_DECLARE_EXCEPTION(EAbort, Exception)
FAT_DECLARE_EXCEPTION(EConvertError, Exception)
FAT_DECLARE_EXCEPTION(EInvalidOperation, Exception)
FAT_DECLARE_EXCEPTION(EInvalidCast, Exception)
FAT_DECLARE_EXCEPTION(EListError, Exception)
FAT_DECLARE_EXCEPTION(ERangeError, Exception)
FAT_DECLARE_EXCEPTION(EVariantError, Exception)
FAT_DECLARE_EXCEPTION(EZeroDivide, Exception)
FAT_DECLARE_EXCEPTION(EOverflow, Exception)
FAT_DECLARE_EXCEPTION(EOutOfMemory, Exception)
FAT_DECLARE_EXCEPTION(EOSError, Exception)
FAT_DECLARE_EXCEPTION(EStreamError, Exception)
FAT_DECLARE_EXCEPTION(EFilerError, EStreamError)
FAT_DECLARE_EXCEPTION(EReadError, EFilerError)
FAT_DECLARE_EXCEPTION(EWriteError, EFilerError)
FAT_DECLARE_EXCEPTION(EClassNotFound, EFilerError)
FAT_DECLARE_EXCEPTION(EFOpenError, EStreamError)
FAT_DECLARE_EXCEPTION(EFCreateError, EStreamError)
FAT_DECLARE_EXCEPTION(EComponentError, Exception)
FAT_DECLARE_EXCEPTION(EPropertyError, Exception)

// Raises the silent exception.
[[noreturn]] inline void Abort() { throw EAbort("Operation aborted"); }
