#pragma once
// Error classes of the persistence library. Each carries the message text the
// program shows; they are raised for programming errors and file-creation errors
// only, stream input and output report failure through boolean results.
#include <stdexcept>
#include <string>

class EKelError : public std::runtime_error {
 public:
  explicit EKelError(const std::string& message) : std::runtime_error(message) {}
};

// A file stream wrapper could not be created (bad name, missing file, open failed).
class EKelStreamWrapCreate : public EKelError {
 public:
  using EKelError::EKelError;
};

// A list operation was used on a stream node that is not a list.
class EKelStreamNodeLinkList : public EKelError {
 public:
  using EKelError::EKelError;
};

// A class is not in the class map of the list that should hold it.
class EKelStreamListClassMap : public EKelError {
 public:
  using EKelError::EKelError;
};

// Assign from an object of an unsuitable class.
class EKelAssign : public EKelError {
 public:
  using EKelError::EKelError;
};

// Column captions and values of a list-view object do not fit together.
class EKelCompDataListListViewCreate : public EKelError {
 public:
  using EKelError::EKelError;
};
