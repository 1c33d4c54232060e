#pragma once

#include <string>
#include <vector>

// The worked examples of the authors' guides (docs/*.md), read from the markdown itself so that the
// guide and the program cannot drift apart unnoticed.
//
// Two kinds of fenced block take part:
//   ```console            a terminal session: "$ " lines are commands (a line ending in a
//   $ command              backslash goes on on the next line), the lines after a command are what
//   output                 it prints, standard output and standard error together
//   ```
//   ```ini file=PATH       the whole text of the example file PATH of docs/examples/
// Other fenced blocks are left alone.

struct GuideCommand {
    int line = 0;                      // of the "$ " line in the markdown, from 1
    std::string text;                  // the command as the shell gets it, continuation lines included
    std::vector<std::string> expected; // the output lines the guide shows
};

struct GuideBlock {
    enum class Kind { Console, File };
    Kind kind = Kind::Console;
    int line = 0;                       // of the opening fence
    std::string file;                   // File: the example's path
    std::string text;                   // File: the block's text, each line ending in "\n"
    std::vector<GuideCommand> commands; // Console
};

std::vector<GuideBlock> ReadGuideBlocks(const std::string& markdown);

// Whether a command's output, as the shell captured it, is what the guide shows. Line ends may be
// CR LF. A log line's leading time stamp ("14 Mar 2025 09:30:05: ") matches any other. JSON
// matches JSON of the same value: the guide spreads an object over several lines, the tool prints
// it on one. On a mismatch, `why` says where.
bool OutputMatches(const std::vector<std::string>& expected, const std::string& actual, std::string& why);
