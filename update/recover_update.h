#pragma once

// Ends an update run that was killed on this installation, as its journal in
// the install folder says (update_journal.h): finished when it had
// committed, otherwise undone; files that the player changed since are left
// as they are. Then the journal goes. Nothing is shown.
// A journal that is not to be acted on (it cannot be read, is damaged in its
// middle, is of another version, or names anything outside the game's
// folders, a file not of the run's own naming or a path through a link) is
// moved aside to "~UPD.BAD" (or deleted), as if there were none; so is
// anything else in its place. A read-only journal is made writable first.
// True when no journal is left to block a new run; false when one is held
// open by a running updater, or a step failed and the journal stays for the
// next try.
bool RecoverInterruptedUpdate();
