// The configuration: server host, port, handle and password, read from the box's file.
#pragma once

#include <cstdio>

constexpr int kHostBytes = 40;
constexpr int kHandleBytes = 20;
constexpr int kPasswdBytes = 20;
constexpr int kConfigTokenBytes = 80; // a token keeps at most 79 characters

constexpr const char* kConfigPath = "/var/mirlon/plugins/vitrel3.cfg";

// Filled only from the configuration file; empty or zero when the plugin is loaded and kept
// between calls of the plugin. Written by read_config_file only.
extern char icsHost[kHostBytes];
extern char icsHandle[kHandleBytes];
extern char icsPasswd[kPasswdBytes];
extern int icsPort;

// Reads the configuration file at its fixed path; a missing file changes nothing.
void read_config_file();

// Reads configuration tokens from an open file: whitespace-separated tokens, each searched for
// the keys "icsHost=", "icsPort=", "icsHandle=", "icsPasswd=" anywhere in it; later keys win.
// A token longer than 79 characters is cut there and its rest skipped; values are cut to fit.
void read_config(FILE* file);
