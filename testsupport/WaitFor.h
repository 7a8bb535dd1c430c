#pragma once

#include <functional>

// Waits until the condition holds or the deadline passes; the condition's last answer.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000);
