// Keeps what a fuzz input can reach small: ALSA knows only the null device, and the files
// the code under test writes land in a scratch directory that is emptied after every input.
#pragma once

// Call once, before the first ALSA call: ALSA reads its configuration only once.
void EnterSandbox();

// Removes every file the last input left in the scratch directory.
void ClearScratch();
