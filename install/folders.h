// Creating folders along a path: shared by the unpacker and the extraction run.
#pragma once

namespace folders {

// Creates a folder and its missing parents. 1 when the folder stands at the
// end, also when it stood before; 0 for an empty path, a path of more than
// 259 bytes, or a file in the way. A path without '\' counts as the top of
// the recursion (a drive designator such as D:) and creates nothing.
int CreateFolder(const char* path);

// Creates the folder part of a file path (up to its last '\'); 0 when the
// path has no '\'.
int CreateParentFolder(const char* filePath);

}  // namespace folders
