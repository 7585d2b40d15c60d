// Extraction of a package into a folder: the members with their dates, the
// checksum verdict, the auto-update copy, and the choice of the folder when
// the temporary drive is short of space. Shows nothing: the setup run decides
// what the user sees from the result.
#pragma once

#include <string>

#include "package/Extractor.h"
#include "support/Progress.h"

// TEMP\SETUP_<time part of the running program's file stamp>; created with
// its parents the first time it is asked for. When that folder exists
// already, a fresh sibling "SETUP_<n>_<k>" instead, so two setups never share
// one folder.
std::string ExtractionFolder();
// Creates the folder name (with its parents) and returns it; when it exists
// already, creates and returns the first free sibling name_1, name_2, ...
std::string ClaimExtractionFolder(const std::string& name);

// Writes every member of packageFile into folder (and the auto-update
// program beside them when autoUpdateName is given), stepping progress.
ExtractResult ExtractPackage(const std::string& packageFile, const std::string& folder,
                             const std::string& autoUpdateName, ProgressSink& progress);

// The package's required space on the folder's drive is below the free space.
bool EnoughTempSpace(const std::string& folder, const std::string& packageFile);

// When the temporary drive is short: a fresh folder on the fixed drive among
// C, D and E with the most free space (probed once per process), or empty
// when no other drive is better.
std::string AlternativeExtractionFolder();
// Removes the alternative folder, if one was made.
void RemoveAlternativeExtractionFolder();

// The auto-update program of a web setup: the running file with the
// is-auto-update-program flag of its trailer set, written to folder\name.
void WriteWebSetupAutoUpdateProgram(const std::string& folder, const std::string& name);
