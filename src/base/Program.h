#pragma once

// The program's registry key under the user's store; settings, alert state and window state live here.
inline constexpr const char* kProgramKey = "Software\\Brightmoor\\Tallyglass";

// The settings window's built-in caption, before the version is appended.
inline constexpr const char* kProgramCaption = "Tallyglass!";
