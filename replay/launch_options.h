// The game's command line: play, record every match to a file, or replay a
// recording in the window. Platform-free so that it is tested natively.
#pragma once

#include <string>

enum class LaunchMode { Play, Record, Replay };

struct LaunchOptions {
  LaunchMode mode = LaunchMode::Play;
  std::string path;
  // For tests: no message boxes (what they would say goes to the standard
  // error and the debug output), and a replay closes the window when over.
  bool unattended = false;
};

// Reads "--record FILE", "--replay FILE" (also "/record", "/replay") and
// "--unattended"; a FILE with spaces is given in double quotes. Other words
// are ignored, as they always were. False with a message in `error` for an
// option without its file or for both modes at once.
bool ParseLaunchOptions(const char* commandLine, LaunchOptions& out, std::string& error);
