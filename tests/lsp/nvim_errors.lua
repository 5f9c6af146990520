-- Run by lsp_tests in a headless Neovim with editors/nvim/trl-check.lua as its
-- init file: opens $TRL_FILE, takes the steps below one after the other, and
-- writes what each saw to $TRL_OUT as JSON ({"steps": {NAME: [diagnostics]}}
-- or {"error": ...}).  Every wait has a time limit, and Neovim quits whatever
-- happens (with status 1 after a failure).
vim.lsp.set_log_level('error')
local timeout_ms = 15000
local state = {}
local out = { steps = {} }

local function wait_for(what, condition)
  if not vim.wait(timeout_ms, condition, 20) then
    error('timed out waiting for ' .. what)
  end
end

-- The buffer's diagnostics as trl-check --format=json gives them: 1-based
-- line, 1-based byte column, code.
local function diagnostics()
  local list = {}
  for _, d in ipairs(vim.diagnostic.get(state.buf)) do
    table.insert(list, { line = d.lnum + 1, column = d.col + 1, code = d.code })
  end
  table.sort(list, function(a, b)
    return a.line < b.line or (a.line == b.line and a.column < b.column)
  end)
  return list
end

local function first_with(code)
  for _, d in ipairs(diagnostics()) do
    if d.code == code then
      return d
    end
  end
end

-- Each step acts, waits for the server's answer and records the diagnostics
-- under its name.  Applying a code action of the fix table goes in here as
-- one more step.
local steps = {
  { 'opened', function()
    vim.cmd('edit ' .. vim.fn.fnameescape(vim.env.TRL_FILE))
    state.buf = vim.api.nvim_get_current_buf()
    wait_for('the first diagnostics', function()
      return #vim.diagnostic.get(state.buf) > 0
    end)
  end },
  { 'blank_added', function()
    -- A missing blank (T009) is fixed by a blank where it is reported.
    local d = first_with('T009') or error('no T009 diagnostic')
    vim.api.nvim_buf_set_text(state.buf, d.line - 1, d.column - 1, d.line - 1, d.column - 1, { ' ' })
    out.fixed_at = { line = d.line, column = d.column }
    wait_for('the T009 diagnostic to go', function()
      return first_with('T009') == nil and #vim.diagnostic.get(state.buf) > 0
    end)
  end },
}

local ok, problem = pcall(function()
  if not require('trl-check') then
    error('editors/nvim/trl-check.lua is not loaded')
  end
  for _, step in ipairs(steps) do
    step[2]()
    out.steps[step[1]] = diagnostics()
  end
end)
if not ok then
  out.error = tostring(problem)
end
local file = io.open(vim.env.TRL_OUT, 'w')
file:write(vim.fn.json_encode(out))
file:close()
vim.cmd(ok and 'qall!' or 'cquit! 1')
