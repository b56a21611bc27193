@echo off
rem Removes the VersionInfo component that install.cmd installed: the reverse of install.cmd,
rem with the same arguments. It needs administrator rights.
rem   uninstall.cmd [x64|x86] [/quiet]
rem   (no library named)  every library this Windows can use
rem   x64, x86            that library only; the other one stays usable
rem   /user               what "install.cmd /user" registered for this account, from this folder
rem   /quiet              prints nothing and never waits: only the exit code tells
rem Each library is unregistered and its folder under Program Files removed. The type library and
rem the interface are registered once for both libraries; they are removed from every registry
rem view (registering x64 writes the interface into the 32-bit view too, even where no 32-bit
rem program runs), and a library that stays registered is registered again to restore them (on
rem 64-bit Windows the ProgID keys are shared by both views, too). Nothing changes while a file
rem it would remove is in use. Exit codes: README.txt.
rem package/make-zip.sh appends package/shared.cmd, the part this script shares with
rem install.cmd: it starts at :start, which runs :main below.
setlocal EnableExtensions DisableDelayedExpansion
set "action=uninstall"
set "doing=removing it from the whole machine"
set "regsvr_switch=/u "
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

for %%a in (%archs%) do call :unregister %%a
for %%a in (%views%) do call :forget_type_library %%a
for %%a in (%all%) do call :restore %%a
for %%a in (%archs%) do call :remove_files %%a
call :unmark
exit /b 0

rem For this account only: each library of this folder unregistered through its DllInstall entry
rem ("user"), which removes what it wrote under HKEY_CURRENT_USER.
:main_user
for %%a in (%archs%) do call :unregister_user %%a
exit /b 0
:unregister_user
set "arch=%1"
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
set "library=%here%%1\vinspect.dll"
"%regsvr%" /s /u /n /i:user "%library%"
set "result=%errorlevel%"
if not "%result%"=="0" goto unregister_user_failed
echo %1: unregistered for %bits% programs of this account, by %regsvr%
exit /b 0
:unregister_user_failed
echo %1: FAILED: "%regsvr%" /s /u /n /i:user "%library%" exited with code %result%.
call :regsvr_hint
exit /b 0

rem Unregisters with the registered library or, where that file is gone, with this folder's.
:unregister
set "arch=%1"
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
call set "view=%%view_%1%%"
"%reg%" query "%clsid%" %view% >nul 2>&1
if errorlevel 1 goto unregister_absent
call :registered %1
set "library=%found%"
if not exist "%library%" set "library=%here%%1\vinspect.dll"
"%regsvr%" /u /s "%library%"
set "result=%errorlevel%"
rem Unregistration reports success even when the registry refused a change: look again.
"%reg%" query "%clsid%" %view% >nul 2>&1
if not errorlevel 1 goto unregister_failed
echo %1: unregistered for %bits% programs, by %regsvr%
exit /b 0
:unregister_absent
echo %1: was not registered for %bits% programs
exit /b 0
:unregister_failed
echo %1: FAILED: "%regsvr%" /u /s "%library%" exited with code %result% and the class is still registered.
call :regsvr_hint
exit /b 0

rem Registers a library that stays registered again, from where it is registered.
:restore
call set "regsvr=%%regsvr_%1%%"
call :registered %1
if not defined found exit /b 0
"%regsvr%" /s "%found%"
set "result=%errorlevel%"
if "%result%"=="0" echo %1: stays registered at "%found%"; registered again to restore the shared keys
if "%result%"=="0" exit /b 0
echo %1: FAILED: registering "%found%" again, to restore the shared keys, exited with code %result%.
set "code=8"
exit /b 0

rem Removes a library's folder under Program Files, and the product folder when it is empty.
:remove_files
call set "folder=%%folder_%1%%"
set "target=%folder%\%1"
if not exist "%target%\" exit /b 0
rd /s /q "%target%"
if exist "%target%.previous\" rd /s /q "%target%.previous"
rd "%folder%" >nul 2>&1
if exist "%target%\" goto remove_files_failed
echo %1: removed "%target%"
exit /b 0
:remove_files_failed
echo %1: FAILED to remove "%target%": close the programs that use its files, then run %name% again.
set "code=7"
exit /b 0

rem The marker goes with the last installed library.
:unmark
if defined folder_x64 if exist "%folder_x64%\x64\" exit /b 0
if defined folder_x86 if exist "%folder_x86%\x86\" exit /b 0
"%reg%" delete "%marker%" /f %machine_view% >nul 2>&1
exit /b 0

