// Signal handling: SIGINT and SIGTERM (TerminateProc) and SIGPIPE (BrokenPipe) never end the
// plugin. The handlers only record the signal; the report is made at the next safe point (a
// pass of the main loop or a dialog's poll), so it can never interleave with a telnet update.
// The records are two file-local flags of signals.cpp, set by the handlers and cleared by
// report_pending_signals.
#pragma once

// Installs the handlers, keeping the host's dispositions for restore_signal_handlers. System
// calls the signals interrupt are restarted, so a connect or a read in progress is not lost.
void install_signal_handlers();

// Gives the host back the dispositions it had before install_signal_handlers.
void restore_signal_handlers();

// The handlers. They record the signal and return.
void TerminateProc(int signal_number);
void BrokenPipe(int signal_number);

// Shows what arrived since the last call: "Got SIGINT/SIGTERM signal" and "Got SIGPIPE signal",
// each once however often it arrived, with ExitOn's pause. Called at safe points only.
void report_pending_signals();
