#pragma once
// What went wrong, carried up to whoever tells the technician: a UTF-8
// message, or nothing when it went well.
//     if (const Failure failure = start()) show(*failure);

#include <optional>
#include <string>

namespace m797 {

using Failure = std::optional<std::string>;

}  // namespace m797
