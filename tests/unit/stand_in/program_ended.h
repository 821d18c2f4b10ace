// What the fakes throw where the program would end. Deliberately no std::exception, so no step or
// error handler swallows it, just as nothing runs after the real end.
#pragma once

struct ProgramEnded {};
