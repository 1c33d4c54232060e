#pragma once

#include "script/ActiveScriptEngine.h"

#include <string>
#include <vector>

// Records what a host reports.
struct ScriptEvents {
    struct Error {
        std::string description;
        std::string sourceLine;
        unsigned lineNumber = 0;
        unsigned charPosition = 0;
    };
    std::vector<std::string> alerts;
    std::vector<Error> errors;

    void connect(TActiveScriptEngine& host) {
        host.OnAlert = [this](const std::string& text) { alerts.push_back(text); };
        host.OnScriptError = [this](const std::string& description, const std::string& source, unsigned line,
                                    unsigned position) {
            errors.push_back({description, source, line, position});
        };
    }
};
