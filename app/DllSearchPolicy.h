#pragma once
// The installer runs elevated from download folders where anyone can drop a DLL beside
// it. It therefore imports at load time only DLLs that Windows always maps from System32
// (KnownDLLs) and delay-loads the rest; this call makes every later load, delay-loads
// included, search System32 only.

// Returns false when the system offers no way to restrict the search (before Windows 7
// with update KB2533623); the current directory is then still taken out of the search.
bool RestrictDllSearchToSystem32();
