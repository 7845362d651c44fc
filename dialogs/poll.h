// The polling steps every modal dialog repeats: wait for release, pause, poll the remote once.
// Owns no globals; reads doexit and realcode, writes actcode (host library) and reads tv_tv_usec.
#pragma once

// Pauses for usec microseconds with a select on no descriptors. A signal that interrupts the
// pause ends it early; the caller just goes on.
void dialog_pause(int usec);

// Polls the remote without pausing until no key is held (realcode 238). Returns false as soon
// as doexit is nonzero, so that a key held while the user leaves cannot keep a dialog waiting.
bool dialog_wait_release();

// One step of the pickers: actcode = cleared; wait for release; pause tv_tv_usec; poll once.
// actcode is written again just before that poll, so a press that the release wait consumed
// (a held key repeating) is never acted on: the caller sees only what the final poll delivered.
// Returns false when doexit is nonzero after the wait or the poll: the dialog then returns at
// once and does not act on a key that arrived with the request to leave.
bool dialog_next_key(unsigned short cleared);
