// Writes that survive a power cut: a file's data and a folder's entries are
// forced to the disk before the caller goes on, and a small file is replaced
// in one step, so that a reader finds either its old or its new content.
// Paths are code page 1252, like every path of the program.
#pragma once

#include <string>

// Forces the data of the file at path to the disk. False when the file cannot
// be opened or the disk reports an error.
bool SyncFile(const std::string& path);
// Forces the entries of a folder (created, renamed and removed names) to the
// disk.
bool SyncFolder(const std::string& folder);
// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);
// Writes content to path + ".new", forces it to the disk and renames it over
// path; the folder is synced afterwards. On failure path keeps its old content
// and no ".new" file is left.
bool ReplaceFileDurably(const std::string& path, const std::string& content);
// The second half of a replacement: writes content to fd, which the caller
// opened on path + ".new", forces it to the disk, closes fd and renames the
// file over path. On failure the ".new" file is removed.
bool PlaceDurably(int fd, const std::string& path, const std::string& content);
// Removes the file and syncs its folder; a missing file counts as removed.
bool RemoveFileDurably(const std::string& path);
