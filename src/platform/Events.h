#pragma once

#include <utility>

namespace Platform {

// Raises an event: calls its handler when one is installed. The call goes to a copy, so that
// a handler which installs another one while it runs is not destroyed in the middle of it.
template<class Handler, class... Arguments>
void emitIfSet(const Handler &handler, Arguments &&...arguments)
{
    if (handler) {
        const Handler running = handler;
        running(std::forward<Arguments>(arguments)...);
    }
}

} // namespace Platform
