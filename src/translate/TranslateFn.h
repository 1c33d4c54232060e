#pragma once

#include <functional>
#include <string>

// Looks a key up in a section of the interface translation; empty when there is no translation.
using TTranslateFn = std::function<std::string(const std::string& section, const std::string& key)>;
