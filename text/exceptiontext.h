// The text that a user or a log sees for any exception.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

// An exception whose message may hold NUL bytes: what() is a C string and so ends at the first
// of them, Message() is the whole text. Both are UTF-8.
class ETextError : public std::runtime_error {
public:
    explicit ETextError(const std::string &Message)
        : std::runtime_error(Message)
        , FMessage(Message)
    {
    }

    const std::string &Message() const { return FMessage; }

private:
    std::string FMessage;
};

// An exception's message in UTF-8, whole: "Unknown exception" for one that is not a
// std::exception, nothing for no exception.
std::string ExceptionText(std::exception_ptr Error);
