-- trl-check's language server in Neovim (0.7 and later): every buffer of a
-- *.trl file gets the filetype "trl" and is attached to one `trl-check --lsp`
-- for the whole session, which checks it on every change (diagnostics), explains
-- a diagnostic's code or a tag on hover (K with vim.lsp.buf.hover), completes
-- tags after '<', lists the turns (vim.lsp.buf.document_symbol), and offers
-- the fixes of a diagnostic and of the whole text (vim.lsp.buf.code_action).
--
-- Use it as a plugin (copy it into ~/.config/nvim/plugin/), from an init file
-- (`dofile('/path/to/trl-check.lua')`), or as the init file itself
-- (`nvim -u /path/to/trl-check.lua`).  The server is `trl-check --lsp` from
-- PATH, unless $TRL_CHECK names the program or vim.g.trl_check_cmd gives the
-- whole command as a list.  require('trl-check') returns this module.

local M = {}

local client_id = nil

local function command()
  if vim.g.trl_check_cmd then
    return vim.g.trl_check_cmd
  end
  local program = vim.env.TRL_CHECK
  if program == nil or program == '' then
    program = 'trl-check'
  end
  return { program, '--lsp' }
end

-- The session's client, started on first use (and again after it has ended).
function M.client()
  if client_id == nil or vim.lsp.get_client_by_id(client_id) == nil then
    client_id = vim.lsp.start_client({
      name = 'trl-check',
      cmd = command(),
      root_dir = vim.fn.getcwd(),
      on_exit = function()
        client_id = nil
      end,
    })
  end
  return client_id
end

-- Attaches a buffer (the current one by default) to the server.
function M.attach(bufnr)
  bufnr = bufnr or vim.api.nvim_get_current_buf()
  local id = M.client()
  if id then
    vim.lsp.buf_attach_client(bufnr, id)
  end
  return id
end

local group = vim.api.nvim_create_augroup('trl-check', { clear = true })
vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
  group = group,
  pattern = '*.trl',
  callback = function(args)
    vim.bo[args.buf].filetype = 'trl'
    vim.bo[args.buf].omnifunc = 'v:lua.vim.lsp.omnifunc'
    M.attach(args.buf)
  end,
})

package.loaded['trl-check'] = M
return M
