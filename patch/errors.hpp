#pragma once
// The engine's exceptions. Each carries only its message; the update run turns them into one result.

#include <stdexcept>

namespace gu::patch {

// An object could not be obtained from a store source: worth retrying elsewhere or later.
class FetchError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The object arrived but could not be written locally. Derives from FetchError, so every handler that
// retries on FetchError must catch this one first and let it pass: a full disk is not a network problem.
class LocalWriteError : public FetchError {
public:
    using FetchError::FetchError;
};

// A store document is malformed or names another product or platform.
class ManifestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A hash, size or signature check failed, or a file being hashed could not be read.
class VerifyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace gu::patch
