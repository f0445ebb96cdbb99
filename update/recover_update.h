#pragma once

// Finishes an update run that was killed on this installation, as found by
// the journal in the install folder: when every target had been replaced,
// the kept old files are removed; otherwise every target is put back as it
// was and what the run made is removed. Then the journal goes. Nothing is
// shown. A journal that names anything outside the game's folders, a file
// not of the run's own naming, or a path through a link is never acted on:
// it is moved aside to "~UPD.BAD" (or deleted), as if there were none. A journal held open by a running updater is left alone, as is one
// that cannot be read; a read-only one is made writable first.
void RecoverInterruptedUpdate();
