#pragma once
// Whether a folder can take downloads: it is (or can be made) a folder and a
// file can be written in it. Used wherever the user chooses the output
// folder, so that a bad choice is refused with its reason.
#include <string>

enum class FolderProblem {
    None,
    Empty,             // no path given
    NotAFolder,        // the path, or one of its parents, is a file
    ReadOnly,          // on a read-only file system
    PermissionDenied,  // creating it or writing in it is not allowed
    CannotCreate,      // any other failure; `error` says which
};

struct FolderCheck {
    FolderProblem problem = FolderProblem::None;
    int error = 0;       // errno of the step that failed
    std::wstring where;  // the path that is in the way or failed
    bool ok() const { return problem == FolderProblem::None; }
};

// Creates the folder and its missing parents, then writes and removes a
// probe file in it.
FolderCheck CheckOutputFolder(const std::wstring& path);

// The message that refuses `path` for `check`'s reason; empty when fine.
std::wstring DescribeFolderProblem(const FolderCheck& check, const std::wstring& path);
