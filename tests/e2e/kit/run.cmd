@echo off
rem Runs the conformance cases of comreg32 against the comreg32.exe in this folder.
rem   run.cmd                   every case; the last few fault again under Windows' default
rem                             error mode, and Windows may show a dialog of its own for them
rem   run.cmd --unattended      leaves those out: no dialog but the helper's own boxes
rem   run.cmd NAME or PATTERN   only those cases (* and ? match any text and any character)
rem The report is printed and kept in work\results.txt.
"%~dp0comreg32-conformance.exe" %*
exit /b %ERRORLEVEL%
