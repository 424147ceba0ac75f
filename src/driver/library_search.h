// Keeps the library search away from the current directory and PATH.
#pragma once

// Restricts where the process looks for libraries loaded by bare name to the
// application's folder, system32 and added folders, so that a copy of the library
// planted in the caller's working directory or on PATH is never loaded. Runs before
// anything loads a library; a failure leaves the search as it was.
void RestrictLibrarySearch();
