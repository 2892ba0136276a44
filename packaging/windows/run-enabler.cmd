@echo off
rem run-enabler.cmd ENABLER [ARGUMENTS]: runs vs-enabler.exe or vmware-enabler.exe
rem for the Task Scheduler and keeps what each run leaves.
rem
rem - ENABLER is vs-enabler or vmware-enabler, which lies in this file's folder.
rem   That folder is the start folder (never System32): en_out.txt is written
rem   there, and vmware-enabler finds retrieve.pl there.
rem - The enabler gets ARGUMENTS, or -v (the log) when there are none.
rem - Its en_out.txt is copied to LOGS\ENABLER-yyyymmdd-hhmmss.txt; the newest
rem   KEEP copies of each enabler are kept, older ones deleted.
rem - LOGS\history.txt gets one line per run:
rem     start=2026-01-31T02:00:01 end=2026-01-31T02:00:09 enabler=vs-enabler status=0 log=vs-enabler-20260131-020001.txt
rem   A run that never ended (stopped by the scheduler) is recorded by the next
rem   run of the same enabler, with end=- status=unfinished.
rem - A status other than 0 also writes an Application event (source
rem   "KEP enablers", event ID the status when it is 1 to 1000, else 1000).
rem - It ends with the enabler's exit status, which the scheduler shows as the
rem   task's Last Result; with 8 when ENABLER is neither name or its program is
rem   not in this folder.
rem
rem Settings, taken from the environment when set there:
rem   KEP_LOG_DIR   LOGS: %ProgramData%\kep-enablers\logs; where Windows has no
rem                 ProgramData (XP, Server 2003) the same below
rem                 %ALLUSERSPROFILE%\Application Data
rem   KEP_LOG_KEEP  KEEP: 30, a month of nightly runs (a value below 1 means 30)
rem   KEP_EVENTS    1: write the event; 0: do not
rem
rem The dates come from WMI (wmic os get LocalDateTime), which Windows XP
rem Professional, Server 2003 and later have, in one form whatever the locale,
rem unlike %DATE% and %TIME%; where wmic is missing (Windows 11 24H2 and Server
rem 2025 without the WMIC feature) from PowerShell. Old copies are pruned by
rem name, newest first (dir /o-n), since forfiles is missing on Windows XP.
setlocal

set "ENABLER=%~1"
if /i "%ENABLER%"=="vs-enabler" goto known
if /i "%ENABLER%"=="vmware-enabler" goto known
>&2 echo usage: run-enabler.cmd vs-enabler^|vmware-enabler [arguments for the enabler]
exit /b 8
:known
if exist "%~dp0%ENABLER%.exe" goto found
>&2 echo run-enabler.cmd: "%~dp0%ENABLER%.exe" is not there
exit /b 8
:found

set ARGS=
:next_argument
shift
if "%~1"=="" goto arguments_done
set ARGS=%ARGS% %1
goto next_argument
:arguments_done
if not defined ARGS set ARGS=-v

if defined KEP_LOG_DIR goto log_dir_set
set "KEP_LOG_DIR=%ProgramData%\kep-enablers\logs"
if not defined ProgramData set "KEP_LOG_DIR=%ALLUSERSPROFILE%\Application Data\kep-enablers\logs"
:log_dir_set
if not defined KEP_LOG_KEEP set KEP_LOG_KEEP=30
if not defined KEP_EVENTS set KEP_EVENTS=1
set KEEP=0
set /a KEEP=KEP_LOG_KEEP 2>nul
if %KEEP% LSS 1 set KEEP=30
if not exist "%KEP_LOG_DIR%\" mkdir "%KEP_LOG_DIR%" 2>nul
set "HISTORY=%KEP_LOG_DIR%\history.txt"
set "RUNNING=%KEP_LOG_DIR%\%ENABLER%.running"

rem The marker of the last run is still there: that run never reached its end.
if not exist "%RUNNING%" goto no_unfinished_run
set UNFINISHED=unknown
set /p UNFINISHED=<"%RUNNING%"
>>"%HISTORY%" echo start=%UNFINISHED% end=- enabler=%ENABLER% status=unfinished log=-
:no_unfinished_run

call :now
set "START=%NOW%"
set "COPY=%ENABLER%-undated.txt"
if defined FILESTAMP set "COPY=%ENABLER%-%FILESTAMP%.txt"
>"%RUNNING%" echo %START%

pushd "%~dp0"
rem A log left by an earlier run must not pass for this run's; one that
rem cannot be deleted is held by a run still going, and this run writes none.
if exist en_out.txt del /f en_out.txt 2>nul
set HELD=
if exist en_out.txt set HELD=1
"%~dp0%ENABLER%.exe" %ARGS%
set STATUS=%ERRORLEVEL%
call :now

set LOG=-
if defined HELD goto copied
if not exist en_out.txt goto copied
copy /y en_out.txt "%KEP_LOG_DIR%\%COPY%" >nul 2>&1 && set "LOG=%COPY%"
:copied
popd

>>"%HISTORY%" echo start=%START% end=%NOW% enabler=%ENABLER% status=%STATUS% log=%LOG%
del "%RUNNING%" 2>nul
for /f "skip=%KEEP% delims=" %%F in ('dir /b /a-d /o-n "%KEP_LOG_DIR%\%ENABLER%-????????-??????.txt" 2^>nul') do del "%KEP_LOG_DIR%\%%F"

if "%STATUS%"=="0" goto done
if not "%KEP_EVENTS%"=="1" goto done
set EVENT_ID=1000
if %STATUS% GEQ 1 if %STATUS% LEQ 1000 set EVENT_ID=%STATUS%
eventcreate /l APPLICATION /t ERROR /so "KEP enablers" /id %EVENT_ID% /d "%ENABLER% ended with status %STATUS%; log %LOG% in %KEP_LOG_DIR%" >nul 2>&1
:done
exit /b %STATUS%

rem NOW: the local time as yyyy-mm-ddThh:mm:ss, FILESTAMP as yyyymmdd-hhmmss;
rem NOW "unknown" and FILESTAMP empty when neither wmic nor PowerShell gives it.
:now
set RAW=
for /f "tokens=1,2 delims==" %%A in ('wmic os get LocalDateTime /value ^<nul 2^>nul') do call :try %%A %%B
if not defined RAW for /f %%A in ('powershell -NoProfile -Command "Get-Date -Format yyyyMMddHHmmss" ^<nul 2^>nul') do call :try %%A
set NOW=unknown
set FILESTAMP=
if not defined RAW goto :eof
set "NOW=%RAW:~0,4%-%RAW:~4,2%-%RAW:~6,2%T%RAW:~8,2%:%RAW:~10,2%:%RAW:~12,2%"
set "FILESTAMP=%RAW:~0,8%-%RAW:~8,6%"
goto :eof

rem RAW: the first 14 characters of the first argument (wmic's table form) or
rem the second (its name=value form) that are all digits.
:try
call :digits %1
call :digits %2
goto :eof
:digits
set "CANDIDATE=%~1"
if not defined CANDIDATE goto :eof
set "CANDIDATE=%CANDIDATE:~0,14%"
if "%CANDIDATE:~13,1%"=="" goto :eof
for /f "delims=0123456789" %%X in ("%CANDIDATE%") do goto :eof
set "RAW=%CANDIDATE%"
goto :eof
