// Recording a failure on a handle: its code and message.
#pragma once

#include <string>

#include "libvelk/song_handle.h"

namespace velk::lib {

inline velk_error setError(velk_song &handle, velk_error error, std::string message)
{
    handle.lastError = error;
    handle.message = std::move(message);
    return error;
}

} // namespace velk::lib
