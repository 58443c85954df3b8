// The exception classes of the engine and the host error classes scripts can
// see. Scripts read an error's class name, so every class answers its own
// Delphi-style name.
#pragma once

#include <exception>
#include <string>

// Base of every host exception: a UTF-16 message and a class name.
class Exception : public std::exception {
public:
    explicit Exception(std::u16string message) : FMessage(std::move(message)) {}
    ~Exception() override = default;

    const std::u16string& Message() const { return FMessage; }
    void SetMessage(std::u16string message) { FMessage = std::move(message); }
    virtual const char16_t* ClassName() const { return u"Exception"; }
    // UTF-8 copy of the message for std::exception users.
    const char* what() const noexcept override;

private:
    std::u16string FMessage;
    mutable std::string FWhat;
};
