// Counts heap allocations through the global operator new while counting is on. Allocations
// made within an AllocationExemption (a store that is allowed to grow) are counted apart.
#pragma once

struct AllocationTally {
  long counted = 0;
  long exempt = 0;
};

void StartCountingAllocations();
AllocationTally StopCountingAllocations();

class AllocationExemption {
 public:
  AllocationExemption();
  ~AllocationExemption();
  AllocationExemption(const AllocationExemption&) = delete;
  AllocationExemption& operator=(const AllocationExemption&) = delete;
};
