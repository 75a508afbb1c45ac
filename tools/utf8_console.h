// Makes the programs' UTF-8 output read correctly wherever it goes on Windows; does nothing
// on POSIX. Call first thing in main().
//
// Everything the programs print is UTF-8 (Chinese status lines, file names). A Windows
// console would show those bytes in its own code page (GBK on a Chinese Windows), so while
// standard output or error is a console, std::cout and std::cerr write it as UTF-16 through
// WriteConsoleW, which shows every character whatever the code page; the console's output
// code page is also set to UTF-8 for anything printed through C stdio. Redirected to a file
// or a pipe, the output stays the UTF-8 bytes, in binary mode: lines end as written ("\n",
// or "\r\n" in CSV), never rewritten to "\r\r\n".
#pragma once

void UseUtf8Console();
