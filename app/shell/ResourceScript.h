#pragma once

// Registers the program's resources: strings, menus, accelerators, the tool bar and the
// pictures. Safe to call more than once.
void RegisterProgramResources();
