#pragma once
// A header of a layer above the sample layer.
