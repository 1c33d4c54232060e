Demo Bank: a form login answered with a session cookie, then two steps. The login page lists
the accounts; the account page links to the balance page with a token of the session; the
balance page shows the amount with thousands separators. @DEMO_SITE@ is the demo site's address.

[COMMON]
list_name=Demo banks

[Demo Bank current account]
unique_id=DEMO_BANK_CURRENT
group_name=Demo Bank
need_auth=yes
method=POST
page_url=@DEMO_SITE@/bank/login
post_data=login={LOGIN}&password={PASSWORD}
pattern=href="/bank/accounts/(\d+?)"
chunks=DEMO_BANK_STEPS

{DEMO_BANK_STEPS}
chunk_begin
chunk_url=@DEMO_SITE@/bank/accounts/{c_1}
chunk_method=GET
chunk_pattern=href="/bank/accounts/\d+?/balance\?view=(\w+?)"
chunk_end
chunk_begin
chunk_url=@DEMO_SITE@/bank/accounts/{c_1}/balance?view={c_1_1}
chunk_method=GET
chunk_pattern=Available balance:\s*<b>(-?[\d,]+?)(\.)(\d\d) EUR</b>
chunk_end
