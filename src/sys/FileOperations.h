#pragma once

#include <string>
#include <vector>

// Copying, moving and deleting for the page. Every failure throws NativeException with
// the system's text for the step that failed.

// Creates the folder and any missing parents; an existing folder is fine.
void makeFolderTree(const std::string& path);
// Deletes a file, or a folder with everything in it, depth first; the first entry that
// cannot be deleted stops the whole operation (what went before stays deleted).
void removeTree(const std::string& path);
// Copies a file to a destination that must not exist yet. The copy is written under a
// temporary name beside the destination and only then given its name, so the
// destination never holds a partial file and an existing one is never replaced.
void copyFileNoReplace(const std::string& from, const std::string& to);
// Moves or renames without ever replacing an existing destination. Within one file system
// this is a single rename; across file systems the file is copied as above and the source
// deleted only after the copy is in place, so a failure leaves the source intact.
void moveNoReplace(const std::string& from, const std::string& to);
// Gives temp the name to, failing with EEXIST when to exists: renameat2 RENAME_NOREPLACE,
// else link and unlink, else (file systems with neither) a checked plain rename.
void renameNoReplace(const std::string& temp, const std::string& to);
// Deletes the copy temporaries (".tarn-copy-<name>.XXXXXX") that a run which died in the
// middle of a copy left under folder (its tree, a few levels deep); copies still being
// written by this process are left alone. Other names are never touched. Returns the
// paths removed.
std::vector<std::string> removeStaleCopies(const std::string& folder);
// The files under folder (a few levels deep) whose names begin with prefix, hidden ones
// included: what a run that died left under Tarn's own hidden names.
std::vector<std::string> filesNamedWith(const std::string& folder, const std::string& prefix);
