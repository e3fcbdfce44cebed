#pragma once

#include "platform/errors.h"

// Raised by every XML operation that cannot be carried out; the document is then unchanged.
class XmlError : public DescribedError {
public:
    using DescribedError::DescribedError;
};
