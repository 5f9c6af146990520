-- What the Neovim scripts of lsp_tests share (each loads it with dofile from
-- its own folder): waits with a time limit, a buffer's diagnostics as
-- trl-check --format=json gives them, the server's code actions at a place,
-- and the end of a script, which writes what it saw to $TRL_OUT and quits.
local S = {}

S.timeout_ms = 15000

function S.wait_for(what, condition)
  if not vim.wait(S.timeout_ms, condition, 20) then
    error('timed out waiting for ' .. what)
  end
end

-- 1-based line, 1-based byte column (start and end), code, and with `full`
-- the message; in the order of the text.
function S.diagnostics(buf, full)
  local list = {}
  for _, d in ipairs(vim.diagnostic.get(buf)) do
    table.insert(list, {
      line = d.lnum + 1,
      column = d.col + 1,
      end_line = d.end_lnum + 1,
      end_column = d.end_col + 1,
      code = d.code,
      message = full and d.message or nil,
    })
  end
  table.sort(list, function(a, b)
    return a.line < b.line or (a.line == b.line and a.column < b.column)
  end)
  return list
end

function S.first_with(buf, code, line)
  for _, d in ipairs(S.diagnostics(buf)) do
    if d.code == code and (line == nil or d.line == line) then
      return d
    end
  end
end

-- The code actions of kind quickfix that the server offers at a 1-based
-- line and column, as the client asks for them (the range in the client's
-- offset encoding), and the client.
function S.code_actions_at(buf, line, column)
  vim.api.nvim_win_set_cursor(0, { line, column - 1 })
  local client = vim.lsp.get_client_by_id(require('trl-check').client())
  local params = vim.lsp.util.make_range_params(0, client.offset_encoding)
  params.context = { diagnostics = {}, only = { 'quickfix' } }
  local answers = vim.lsp.buf_request_sync(buf, 'textDocument/codeAction', params, S.timeout_ms)
  local answer = answers and answers[client.id]
  if not answer or answer.err then
    error('no code actions: ' .. vim.inspect(answer))
  end
  return answer.result or {}, client
end

-- Runs `body(out)`, writes `out` (or {"error": ...}) to $TRL_OUT as JSON and
-- quits, with status 1 after a failure.
function S.run(body)
  vim.lsp.set_log_level('error')
  local out = { steps = {} }
  local ok, problem = pcall(function()
    if not require('trl-check') then
      error('editors/nvim/trl-check.lua is not loaded')
    end
    body(out)
  end)
  if not ok then
    out.error = tostring(problem)
  end
  local file = io.open(vim.env.TRL_OUT, 'w')
  file:write(vim.fn.json_encode(out))
  file:close()
  vim.cmd(ok and 'qall!' or 'cquit! 1')
end

return S
