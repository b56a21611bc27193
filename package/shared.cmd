rem ------------------------------------------------------------------------------------------------
rem What install.cmd and uninstall.cmd share. package/make-zip.sh appends this file to each, so
rem that each script of the zip stands alone. The part before it sets action (install or
rem uninstall) and doing (what needs administrator rights, for the rights line), defines :main
rem and goes to :start, which reads the arguments, runs :main (with its output thrown away under
rem /quiet) and exits with code. :main and its subroutines report a refusal by setting code and
rem returning 1.
rem No parenthesised blocks below, and no path is handed to a call: a folder name may hold
rem parentheses, and a call would read a %, ^ or ! in it a second time.
:start
set "here=%~dp0"
set "self=%~0"
set "name=%~nx0"
set "clsid=HKLM\Software\Classes\CLSID\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}"
rem Programs are named by full path: an elevated prompt's current folder could hold a reg.cmd.
set "reg=%SystemRoot%\System32\reg.exe"
set "tasklist=%SystemRoot%\System32\tasklist.exe"
rem Written by install.cmd, removed by uninstall.cmd; the Windows Installer packages look for it.
set "marker=HKLM\SOFTWARE\vinspect"
set "code=0"
call :from_explorer
call :arguments %*
if defined quiet set "wait="
if defined quiet call :main >nul 2>&1
if not defined quiet call :main
if defined wait pause
exit /b %code%

rem Reads the arguments into pick (x64 or x86: that library only), quiet (/quiet: no output and
rem no waiting, the exit code alone tells the outcome), user (/user: for this account only) and
rem bad (the first argument not known).
:arguments
set "pick="
set "quiet="
set "user="
set "bad="
:arguments_next
set "argument=%~1"
if not defined argument exit /b 0
shift
if /i "%argument%"=="/quiet" set "quiet=1"
if /i "%argument%"=="/user" set "user=1"
if /i "%argument%"=="x64" set "pick=x64"
if /i "%argument%"=="x86" set "pick=x86"
if /i "%argument%"=="/quiet" goto arguments_next
if /i "%argument%"=="/user" goto arguments_next
if /i "%argument%"=="x64" goto arguments_next
if /i "%argument%"=="x86" goto arguments_next
if not defined bad set "bad=%argument%"
goto arguments_next

:usage
if not defined bad exit /b 0
echo Usage: %name% [x64^|x86] [/user] [/quiet]
set "code=1"
exit /b 1

rem Sets wait when Explorer started this script in a console of its own, which closes as soon as
rem the script ends: a double-click runs  cmd.exe /c ""<script>" "  and "Run as administrator"
rem runs  cmd.exe /C "<script>" . A prompt or another script has its own command line here, so it
rem never waits. The quotes become backquotes first, so that nothing in the line is taken as a
rem command; the second pass disarms what the line leaves when the variable is unset, as in
rem Wine's cmd.
:from_explorer
set "wait="
set "line=%cmdcmdline:"=`%"
if not defined line exit /b 0
set "line=%line:"=`%"
set "line=%line:* /c =%"
if /i "%line%"=="``%self%` `" set "wait=1"
if /i "%line%"=="`%self%` " set "wait=1"
exit /b 0

rem The libraries must be beside the script: Explorer, asked to run a script inside a zip, copies
rem that script alone to a temporary folder.
:payload
set "missing="
if not exist "%here%x86\vinspect.dll" set "missing=x86\vinspect.dll"
if not exist "%here%x64\vinspect.dll" set "missing=x64\vinspect.dll"
if not defined missing exit /b 0
echo The libraries are not beside %name%, "%here%%missing%" is missing: extract the whole zip first, with "Extract All", and run %name% from the extracted folder.
set "code=2"
exit /b 1

rem Sets regsvr_<arch> to the regsvr32 of that bitness, bits_<arch> to the programs it serves,
rem view_<arch> to the reg option that reaches its registry view, folder_<arch> to its product
rem folder under Program Files (the Windows Installer packages' layout), views to the views this
rem Windows has, machine_view to the view of keys that are not per-bitness, and archs to the
rem libraries it can use. The machine's own architecture decides, not the bitness of this cmd:
rem the system environment holds it, while a cmd of another bitness, or an emulated one,
rem reports its own in PROCESSOR_ARCHITECTURE.
:platform
set "native="
for /f "tokens=1,2*" %%a in ('%reg% query "HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment" /v PROCESSOR_ARCHITECTURE 2^>nul') do if /i "%%a"=="PROCESSOR_ARCHITECTURE" set "native=%%c"
if not defined native set "native=%PROCESSOR_ARCHITEW6432%"
if not defined native set "native=%PROCESSOR_ARCHITECTURE%"
set "no32="
if /i "%native%"=="AMD64" goto platform64
if /i "%native%"=="x86" goto platform32
echo vinspect is built for x86 and x64 Windows; this Windows runs on %native%.
set "code=3"
exit /b 1
:platform64
rem A 32-bit cmd sees the 32-bit system folder as System32 and the 64-bit one as Sysnative, and
rem Program Files (x86) as ProgramFiles.
set "regsvr_x64=%SystemRoot%\System32\regsvr32.exe"
if defined PROCESSOR_ARCHITEW6432 set "regsvr_x64=%SystemRoot%\Sysnative\regsvr32.exe"
set "regsvr_x86=%SystemRoot%\SysWOW64\regsvr32.exe"
set "view_x64=/reg:64"
set "view_x86=/reg:32"
set "machine_view=/reg:64"
set "bits_x64=64-bit"
set "bits_x86=32-bit"
set "folder_x64=%ProgramW6432%\vinspect"
if not defined ProgramW6432 set "folder_x64=%ProgramFiles%\vinspect"
set "folder_x86=%ProgramFiles(x86)%\vinspect"
set "archs=x64 x86"
set "views=x64 x86"
if exist "%regsvr_x86%" exit /b 0
rem Server Core without WoW64 and Windows PE run no 32-bit programs.
set "archs=x64"
set "folder_x86="
set "no32=x86: not %action%ed: this Windows runs no 32-bit programs, it has no %regsvr_x86%."
exit /b 0
:platform32
set "regsvr_x86=%SystemRoot%\System32\regsvr32.exe"
set "view_x86="
set "machine_view="
set "bits_x86=32-bit"
set "folder_x86=%ProgramFiles%\vinspect"
set "archs=x86"
set "views=x86"
exit /b 0

rem Narrows archs to the library named on the command line.
:choose
if not defined pick exit /b 0
set "can="
for %%a in (%archs%) do if "%%a"=="%pick%" set "can=1"
if defined can set "archs=%pick%"
if defined can exit /b 0
if "%pick%"=="x86" echo %no32%
if "%pick%"=="x64" echo x64: not %action%ed: this is 32-bit Windows, it runs no 64-bit programs.
set "code=3"
exit /b 1

rem The Windows Installer packages register the same classes at the same places and keep their
rem own account of them: while one is installed, these scripts change nothing. Their upgrade
rem codes, packed as Windows Installer keeps them: x64 package, x86 package.
:msi_product
set "product="
for %%u in (5105D735FDC331943A79229F21A9626D 2F7461C0358E04E45A7CC9DC05C156DF) do call :upgrade_code %%u
if not defined product exit /b 0
echo vinspect is installed on this machine by its Windows Installer package, which %name% leaves alone: change or remove it with "Installed apps" in Settings or with msiexec.
set "code=4"
exit /b 1
:upgrade_code
"%reg%" query "HKLM\SOFTWARE\Classes\Installer\UpgradeCodes\%1" %machine_view% >nul 2>&1
if not errorlevel 1 set "product=1"
exit /b 0

rem A trial key where the registration writes tells whether this prompt may change it.
:rights
"%reg%" add "HKLM\Software\Classes\qzVersionInfo.RightsCheck" /f >nul 2>&1
if errorlevel 1 goto rights_missing
"%reg%" delete "HKLM\Software\Classes\qzVersionInfo.RightsCheck" /f >nul 2>&1
exit /b 0
:rights_missing
echo Access is denied: %doing% needs administrator rights. Right-click %name% and choose "Run as administrator", or run it from a Command Prompt opened with "Run as administrator".
set "code=5"
exit /b 1

rem Refuses before anything changes when a file this run would replace or remove is in use:
rem Windows keeps a loaded library or a running program from being written. Each file is opened
rem for writing, appending nothing to it. The programs that have it loaded are named.
:in_use
set "busy="
for %%a in (%archs%) do call :in_use_folder %%a
if not defined busy exit /b 0
for %%f in ("%busy%") do set "busy_name=%%~nxf"
echo "%busy%" is in use, so nothing was changed. Close the programs that use it, then run %name% again:
set "listed="
for /f "tokens=1,2 delims=," %%p in ('%tasklist% /m %busy_name% /fo csv /nh 2^>nul') do if not "%%~q"=="" call :in_use_program %%p %%q
if not defined listed echo     Windows names none in this session: another user's program or a service may use it; restarting Windows ends it.
set "code=6"
exit /b 1
:in_use_folder
call set "folder=%%folder_%1%%"
if not defined folder exit /b 0
for /f "delims=" %%f in ('dir /b /a-d "%folder%\%1" 2^>nul') do call :in_use_file %1 %%f
exit /b 0
:in_use_file
if defined busy exit /b 0
copy /b "%folder%\%1\%2" +nul "%folder%\%1\%2" >nul 2>&1
if errorlevel 1 set "busy=%folder%\%1\%2"
exit /b 0
:in_use_program
set "listed=1"
echo     %~1, process %~2
exit /b 0

rem Sets found to the library registered in the view of one library, or to nothing. The line of
rem reg query is taken whole here and cut outside the loop, so that the path is read only once.
:registered
call set "view=%%view_%1%%"
set "line="
set "found="
for /f "delims=" %%l in ('%reg% query "%clsid%\InprocServer32" /ve %view% 2^>nul') do set "line=%%l"
if not defined line exit /b 0
if not "%line:*REG_SZ    =%"=="%line%" set "found=%line:*REG_SZ    =%"
exit /b 0

rem Removes the type library and interface keys from the view of one library.
:forget_type_library
call set "view=%%view_%1%%"
"%reg%" delete "HKLM\Software\Classes\TypeLib\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}" /f %view% >nul 2>&1
"%reg%" delete "HKLM\Software\Classes\Interface\{6F1C2A11-3B7E-4D21-9A55-0C1E2F3A4B01}" /f %view% >nul 2>&1
exit /b 0

rem Says what an exit code of regsvr32 can mean and how to see its own message; sets code.
:regsvr_hint
set "code=8"
if "%result%"=="9009" echo     %regsvr% could not be started.
if "%result%"=="9009" exit /b 0
if "%result%"=="3" echo     regsvr32 could not load the library: a policy such as AppLocker or an antivirus program may block it, its path may be too long, or the file is damaged.
if "%result%"=="4" echo     regsvr32 did not find the entry point it calls in the library: the file is damaged or of another version.
if "%result%"=="5" echo     regsvr32 says 5 for any failure of the library's own registration: a policy or an antivirus program may have blocked its registry writes, or its path may hold characters outside this system's ANSI code page.
if defined user goto regsvr_hint_user
echo     regsvr32 without /s shows its own message: in a Command Prompt opened with "Run as administrator", run  "%regsvr%" %regsvr_switch%"%here%%arch%\vinspect.dll"
if "%action%"=="install" echo     uninstall.cmd then takes that registration back.
exit /b 0
:regsvr_hint_user
echo     regsvr32 without /s shows its own message: run  "%regsvr%" %regsvr_switch%/n /i:user "%here%%arch%\vinspect.dll"
if "%action%"=="install" echo     uninstall.cmd /user then takes that registration back.
exit /b 0
