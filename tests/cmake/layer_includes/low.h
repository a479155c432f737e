#pragma once
// A header of the lower sample layer.
