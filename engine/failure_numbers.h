// The failure numbers a Failure carries, in one table: the error report shows them, and the few
// handlers that react to a failure tell them apart by them.
#pragma once

namespace quarrytab::failures {

inline constexpr int kInvalidCall = 5;  // invalid procedure call or argument
inline constexpr int kOutOfMemory = 7;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kOutOfStringSpace = 14;  // bytes held back past what may be held
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIoError = 57;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kFileAccessError = 75;  // path/file access error
inline constexpr int kPathNotFound = 76;
inline constexpr int kInvalidPicture = 481;

}  // namespace quarrytab::failures
