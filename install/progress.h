// The progress bar the extraction run moves (0 to 100).
#pragma once

class CProgressCtrl {
  public:
    virtual ~CProgressCtrl() = default;
    virtual void SetPos(int position) = 0;
    virtual int GetPos() = 0;
};

// Set by whoever shows the progress before a run starts.
extern CProgressCtrl* g_pProgressCtrl;
