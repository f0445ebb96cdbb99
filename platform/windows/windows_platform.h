#pragma once

// Fills the platform table with the real Win32 functions.
void InstallWindowsPlatform();
