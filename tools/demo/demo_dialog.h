// What the demo's mailing dialog tells the demo.
#pragma once

// The job's result as the dialog saw it: 1 completed, 0 not, -1 no job.
extern int DemoJobResult;
