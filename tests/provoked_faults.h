// Faults provoked on purpose, for the tests of the fault paths. Each one
// ends the process through the fault filter or the heap's error, once the
// run-time services have started.
#pragma once

void AccessViolation();
void DivisionByZero();
// Recurses until the stack is used up.
void StackOverflow();
// Asks the heap for a block that no 32-bit or 64-bit process can have.
void UnmetAllocation();
