// What a file's access list lets groups of people do: a file that holds a secret must keep it
// from everyone but its owner (and the system).
#pragma once

#include <windows.h>

// Whether the access list lets a group of people beyond one user read or change the data:
// everybody, every signed-in user, every local user, guests, or anyone unsigned. A missing list
// lets everybody.
bool GroupsMayUse(const ACL* acl);
