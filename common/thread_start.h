// Starting a thread when the system may refuse one.
#pragma once

#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace imrestore {

// A thread running f(args...), or a thread that is not joinable when the
// system could not start one; the caller then does the work itself, on
// fewer threads. No result depends on how many threads ran.
template <class F, class... Args>
std::thread tryStartThread(F&& f, Args&&... args) noexcept
{
    try {
        return std::thread(std::forward<F>(f), std::forward<Args>(args)...);
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    return std::thread();
}

} // namespace imrestore
