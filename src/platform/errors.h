#pragma once

#include <QString>
#include <stdexcept>

// The error types every command's error trap may meet. HandleError tells them apart.

// A failure with a description meant for the user (the XML layer's errors derive from it).
class DescribedError : public std::runtime_error {
public:
    explicit DescribedError(const QString& description)
        : std::runtime_error(description.toStdString()), m_description(description) {}
    const QString& description() const { return m_description; }

private:
    QString m_description;
};

// A routine reached for the Document (or another object) that does not exist.
class MissingObjectError : public std::runtime_error {
public:
    MissingObjectError() : std::runtime_error("Object variable not set") {}
};

// A file dialog was dismissed while its CancelError was set.
class DialogCancelledError : public std::runtime_error {
public:
    DialogCancelledError() : std::runtime_error("Cancel was selected.") {}
};
