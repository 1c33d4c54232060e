#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

class TRegistry;

// Orders names without regard to ASCII letter case, as the registry compares value names: "left"
// read from the key and "Left" set by the program are one entry, not two that overwrite each other
// on saving.
struct TStateNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

// Window geometry remembered between runs: named integers kept in the key <root>\State, one DWORD
// value each. Values the program does not use are kept and written back unchanged.
class TStateSaver {
public:
    // Empties the map, then takes every value of <root>\State that reads as an integer; a value of
    // another type is left out. A missing key or an unusable store leaves the map empty.
    void Load(const std::string& rootKey, TRegistry& registry);
    // Writes every entry as a DWORD into <root>\State, creating it if needed. A failure leaves the
    // key as it was.
    void Save(const std::string& rootKey, TRegistry& registry) const;

    // A missing name reads as 0 and is added.
    std::int32_t& operator[](const std::string& name) { return m_values[name]; }
    // A missing name reads as 0; nothing is added.
    std::int32_t Value(const std::string& name) const;
    bool Contains(const std::string& name) const { return m_values.count(name) != 0; }
    bool Empty() const { return m_values.empty(); }
    using Map = std::map<std::string, std::int32_t, TStateNameLess>;
    const Map& Values() const { return m_values; }

private:
    Map m_values;
};

// The names of the stored geometry.
inline constexpr const char* kStateLeft = "Left";
inline constexpr const char* kStateTop = "Top";
inline constexpr const char* kStateListLeft = "fmBalanceList->Left";
inline constexpr const char* kStateListTop = "fmBalanceList->Top";
inline constexpr const char* kStateListWidth = "fmBalanceList->Width";
inline constexpr const char* kStateListHeight = "fmBalanceList->Height";
inline constexpr std::array<const char*, 3> kStateListColumnWidths = {
    "fmBalanceList->lvList->Columns->Items[0]->Width",
    "fmBalanceList->lvList->Columns->Items[1]->Width",
    "fmBalanceList->lvList->Columns->Items[2]->Width",
};

struct TScreenSize {
    int Width = 0;
    int Height = 0;
};

// Position, size and column widths of the Balance List window.
struct TBalanceListGeometry {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::array<int, 3> ColumnWidths{};
};

// What start-up does with the windows after Load. An empty value leaves that property as the
// window has it.
struct TWindowRestore {
    // Nothing stored (first run or no key): centre both windows with CentredPosition; the other
    // members are then empty.
    bool Centre = false;
    std::optional<int> MainLeft;
    std::optional<int> MainTop;
    std::optional<int> ListLeft;
    std::optional<int> ListTop;
    std::optional<int> ListWidth;
    std::optional<int> ListHeight;
    std::array<std::optional<int>, 3> ListColumnWidths;
};

// The settings form takes a stored left edge only inside (0, screen width) and a top edge only
// inside (0, screen height); each Balance List value is taken when it is greater than 0.
TWindowRestore RestoreWindowState(const TStateSaver& saver, TScreenSize screen);

// Left (or top) edge that centres a window of the given extent: (screen - window) / 2, rounded
// toward zero, so a window larger than the screen gets a negative edge.
int CentredPosition(int screenExtent, int windowExtent);

// Records the settings form's position and, when given, the Balance List window's geometry; the
// caller then saves. Without the Balance List window its stored values stay as loaded.
void StoreWindowState(TStateSaver& saver, int mainLeft, int mainTop,
                      const std::optional<TBalanceListGeometry>& balanceList = std::nullopt);
