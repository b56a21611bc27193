@echo off
rem Installs the VersionInfo component (vinspect.dll) for the whole machine: copies each library,
rem with vinsdemo, from the folder this script is in to Program Files, where only administrators
rem may change it, and registers it there. It needs administrator rights; running it again is
rem harmless.
rem   install.cmd [x64|x86] [/quiet]
rem   (no library named)  64-bit Windows: x64 into %ProgramFiles%\vinspect\x64 and x86 into
rem                       %ProgramFiles(x86)%\vinspect\x86; 32-bit Windows: x86 into
rem                       %ProgramFiles%\vinspect\x86
rem   x64, x86            that library only
rem   /user               for this account only: registered in place, from this folder, under
rem                       HKEY_CURRENT_USER; no administrator rights needed, nothing copied
rem   /quiet              prints nothing and never waits: only the exit code tells
rem Each library is registered by the regsvr32 of its own bitness, so that 64-bit and 32-bit
rem script hosts both find the object. Nothing changes while a file it would replace is in use.
rem When a step fails, the files and each library's registration are put back as they were
rem before this run. Exit codes: README.txt.
rem package/make-zip.sh appends package/shared.cmd, the part this script shares with
rem uninstall.cmd: it starts at :start, which runs :main below.
setlocal EnableExtensions DisableDelayedExpansion
set "action=install"
set "doing=installing for the whole machine"
set "regsvr_switch="
goto start

:main
call :payload
if errorlevel 1 exit /b 1
call :usage
if errorlevel 1 exit /b 1
call :platform
if errorlevel 1 exit /b 1
set "all=%archs%"
call :choose
if errorlevel 1 exit /b 1
if defined user goto main_user
call :msi_product
if errorlevel 1 exit /b 1
call :rights
if errorlevel 1 exit /b 1
call :in_use
if errorlevel 1 exit /b 1

set "prior_x64="
set "prior_x86="
for %%a in (%all%) do call :remember %%a
set "placed="
set "done="
set "failed="
for %%a in (%archs%) do if not defined failed call :place %%a
if defined failed goto undo
for %%a in (%archs%) do if not defined failed call :register %%a
if defined failed goto undo
for %%a in (%archs%) do call :settle %%a
"%reg%" add "%marker%" /v InstalledBy /d install.cmd /f %machine_view% >nul
if not defined pick if defined no32 echo %no32%
exit /b 0

rem For this account only: each library registered where it is, by the regsvr32 of its bitness
rem through its DllInstall entry ("user"), which writes under HKEY_CURRENT_USER. When a step
rem fails, what this run registered is taken back.
:main_user
set "done="
set "failed="
for %%a in (%archs%) do if not defined failed call :register_user %%a
if not defined failed exit /b 0
if not defined done exit /b 1
echo Taking back what this run registered for this account:
for %%a in (%done%) do call :unregister_user %%a
exit /b 1

:register_user
set "arch=%1"
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
set "library=%here%%1\vinspect.dll"
"%regsvr%" /s /n /i:user "%library%"
set "result=%errorlevel%"
if not "%result%"=="0" goto register_user_failed
set "done=%done% %1"
echo %1: registered "%library%" for %bits% programs of this account only, by %regsvr%
exit /b 0
:register_user_failed
set "failed=%1"
echo %1: FAILED: "%regsvr%" /s /n /i:user "%library%" exited with code %result%.
call :regsvr_hint
exit /b 0

:unregister_user
call set "regsvr=%%regsvr_%1%%"
"%regsvr%" /s /u /n /i:user "%here%%1\vinspect.dll"
echo %1: took back this run's registration for this account
exit /b 0

rem Puts back what was there before this run: each folder's earlier files, and each library's
rem registration: a view that had a registration gets that library registered again, a view that
rem had none loses what this run wrote in it, the failed step included. Unregistering takes the
rem keys both views share with it (ProgIDs, type library); then every earlier registration is
rem written again, as uninstall.cmd does.
:undo
echo Putting back the files and the registration as they were before this run:
set "touched= %done% %failed% "
set "cleared="
for %%a in (%all%) do call :clear %%a
if defined cleared for %%a in (%views%) do call :forget_type_library %%a
for %%a in (%placed%) do call :unplace %%a
for %%a in (%all%) do call :put_back %%a
exit /b 1

rem Copies one library's files into its folder under Program Files. Files already there (an
rem earlier installation) are kept aside in <folder>.previous until the whole run has succeeded.
:place
call set "target=%%folder_%1%%\%1"
if exist "%target%.previous\" rd /s /q "%target%.previous"
if exist "%target%\" ren "%target%" "%1.previous"
if exist "%target%\" goto place_failed
set "placed=%placed% %1"
md "%target%"
if errorlevel 1 goto place_failed
copy /y "%here%%1\*" "%target%\" >nul
if errorlevel 1 goto place_failed
exit /b 0
:place_failed
set "failed=%1"
set "code=7"
echo %1: FAILED: the files could not be copied to "%target%".
exit /b 0

rem Takes this run's files out of a library's folder and brings back the earlier ones, if any.
:unplace
call set "folder=%%folder_%1%%"
set "target=%folder%\%1"
if exist "%target%\" rd /s /q "%target%"
if exist "%target%.previous\" ren "%target%.previous" "%1"
if exist "%target%\" echo %1: the files that were in "%target%" before this run are back
if not exist "%target%\" echo %1: removed the files this run copied to "%target%"
rd "%folder%" >nul 2>&1
exit /b 0

rem Drops the earlier files kept aside once the run has succeeded.
:settle
call set "target=%%folder_%1%%\%1"
if exist "%target%.previous\" rd /s /q "%target%.previous"
exit /b 0

:register
set "arch=%1"
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
call set "library=%%folder_%1%%\%1\vinspect.dll"
"%regsvr%" /s "%library%"
set "result=%errorlevel%"
if not "%result%"=="0" goto register_failed
set "done=%done% %1"
echo %1: installed "%library%" and registered it for %bits% programs, machine-wide, by %regsvr%
exit /b 0
:register_failed
set "failed=%1"
echo %1: FAILED: "%regsvr%" /s "%library%" exited with code %result%.
call :regsvr_hint
exit /b 0

rem Sets prior_<arch> to the library registered in that view before this run, if any.
:remember
call :registered %1
if "%1"=="x64" set "prior_x64=%found%"
if "%1"=="x86" set "prior_x86=%found%"
exit /b 0

rem Removes this run's registration from a view that had none before it.
:clear
call set "untouched=%%touched: %1 =%%"
if "%untouched%"=="%touched%" exit /b 0
if "%1"=="x64" if defined prior_x64 exit /b 0
if "%1"=="x86" if defined prior_x86 exit /b 0
call set "regsvr=%%regsvr_%1%%"
call set "view=%%view_%1%%"
"%reg%" query "%clsid%" %view% >nul 2>&1
if errorlevel 1 exit /b 0
set "cleared=1"
"%regsvr%" /u /s "%here%%1\vinspect.dll"
"%reg%" query "%clsid%" %view% >nul 2>&1
if errorlevel 1 echo %1: removed what this run registered
if not errorlevel 1 echo %1: FAILED to remove what this run registered: the class is still registered.
exit /b 0

rem Registers the library a view had before this run again, where this run changed that view or
rem took the keys it shares.
:put_back
set "prior="
if "%1"=="x64" set "prior=%prior_x64%"
if "%1"=="x86" set "prior=%prior_x86%"
if not defined prior exit /b 0
call set "untouched=%%touched: %1 =%%"
if not defined cleared if "%untouched%"=="%touched%" exit /b 0
call set "regsvr=%%regsvr_%1%%"
if not exist "%prior%" goto put_back_missing
"%regsvr%" /s "%prior%"
set "result=%errorlevel%"
if "%result%"=="0" echo %1: registered "%prior%" again, as before this run
if not "%result%"=="0" echo %1: FAILED: registering "%prior%" again exited with code %result%.
exit /b 0
:put_back_missing
echo %1: "%prior%" was registered before this run and no longer exists: not registered again.
exit /b 0

