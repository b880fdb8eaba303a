#pragma once

// An instance id no other test process uses at the same time: the link's named objects of two
// test programs running side by side never meet. A process gets 256 before they repeat.
int UniqueInstanceId();
