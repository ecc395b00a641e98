#pragma once

#include <exception>
#include <optional>
#include <string>

namespace tk {

// Base of every error the system throws. Each component has its own error type deriving from this
// one, carrying the user-facing description, failure reason and recovery suggestion.
class Error : public std::exception {
 public:
  ~Error() override = default;

  // The text shown to the user (the alert's message).
  virtual std::string localizedDescription() const = 0;
  virtual std::optional<std::string> failureReason() const { return std::nullopt; }
  virtual std::optional<std::string> recoverySuggestion() const { return std::nullopt; }

  const char* what() const noexcept override;

 private:
  mutable std::string whatText_;
};

// A failure reported by a library below us or by a component that names its errors by a domain
// and a code: "<operation>: <library's own message>" as its description.
class PlatformError : public Error {
 public:
  PlatformError(std::string domain, int code, std::string description)
      : domain_(std::move(domain)), code_(code), description_(std::move(description)) {}

  const std::string& domain() const { return domain_; }
  int code() const { return code_; }
  std::string localizedDescription() const override { return description_; }

 private:
  std::string domain_;
  int code_;
  std::string description_;
};

}  // namespace tk
